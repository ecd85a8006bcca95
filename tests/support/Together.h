#pragma once
#include <windows.h>
#include <functional>
#include <thread>
#include <vector>

// Runs body(0) to body(count - 1) on threads of their own, released together once all are waiting,
// so that they contend; returns when all are done.
inline void RunTogether(int count, const std::function<void(int index)>& body)
{
    HANDLE start = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::vector<std::thread> threads;
    for (int i = 0; i < count; ++i) {
        threads.emplace_back([&, i] {
            WaitForSingleObject(start, INFINITE);
            body(i);
        });
    }
    Sleep(50);
    SetEvent(start);
    for (auto& thread : threads)
        thread.join();
    CloseHandle(start);
}
