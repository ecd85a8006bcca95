// Measures the plug-in against minimal implementations of the same work, side by side in one
// run, and prints the figures as a Markdown table.
//   vireo_bench [DLL]
#include "bench/ImportCounter.h"
#include "dialog/CenterOnOwner.h"
#include "dialog/DialogResources.h"
#include "dialog/DrawMaskedBitmap.h"
#include "dialog/QualityDialog.h"
#include "plugin/IWMPPluginUI.h"
#include "server/ClassTable.h"
#include "settings/QualitySetting.h"
#include "settings/RegistrySettings.h"
#include <algorithm>
#include <cstdio>
#include <functional>
#include <new>
#include <string>
#include <vector>

namespace {

using GetClassObjectFunction = HRESULT(WINAPI*)(REFCLSID, REFIID, void**);

double Seconds()
{
    static LARGE_INTEGER frequency = [] {
        LARGE_INTEGER f;
        QueryPerformanceFrequency(&f);
        return f;
    }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return double(now.QuadPart) / double(frequency.QuadPart);
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// Runs both sides in alternating rounds and gives the median time per operation of each.
std::pair<double, double> SideBySide(int rounds, int perRound, const std::function<void()>& subject,
                                     const std::function<void()>& floor)
{
    std::vector<double> subjectTimes, floorTimes;
    for (int round = 0; round < rounds; ++round) {
        for (int side = 0; side < 2; ++side) {
            const std::function<void()>& work = side == 0 ? subject : floor;
            const double start = Seconds();
            for (int i = 0; i < perRound; ++i)
                work();
            (side == 0 ? subjectTimes : floorTimes).push_back((Seconds() - start) / perRound);
        }
    }
    return {Median(subjectTimes), Median(floorTimes)};
}

constexpr int LoadGroups = 9;
constexpr int LoadRoundsPerGroup = 100;

// The floor for activation: the smallest correct class factory and object.
volatile LONG floorLocks;

class FloorObject final : public IWMPPluginUI {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IWMPPluginUI))
            return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return ++references; }
    STDMETHODIMP_(ULONG) Release() override
    {
        const LONG count = --references;
        if (count == 0) {
            InterlockedDecrement(&floorLocks);
            this->~FloorObject();
            HeapFree(GetProcessHeap(), 0, this);
        }
        return count;
    }
    STDMETHODIMP SetCore(IWMPCore*) override { return S_OK; }
    STDMETHODIMP Create(HWND, HWND*) override { return E_NOTIMPL; }
    STDMETHODIMP Destroy() override { return E_NOTIMPL; }
    STDMETHODIMP DisplayPropertyPage(HWND) override { return S_OK; }
    STDMETHODIMP GetProperty(const WCHAR*, VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP SetProperty(const WCHAR*, const VARIANT*) override { return E_NOTIMPL; }
    STDMETHODIMP TranslateAccelerator(MSG*) override { return E_NOTIMPL; }

private:
    LONG references = 0;
};

class FloorFactory final : public IClassFactory {
public:
    STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (!IsEqualIID(riid, IID_IUnknown) && !IsEqualIID(riid, IID_IClassFactory))
            return E_NOINTERFACE;
        *ppv = this;
        AddRef();
        return S_OK;
    }
    STDMETHODIMP_(ULONG) AddRef() override { return InterlockedIncrement(&references); }
    STDMETHODIMP_(ULONG) Release() override { return InterlockedDecrement(&references); }
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID riid, void** ppv) override
    {
        if (!ppv)
            return E_POINTER;
        *ppv = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        void* memory = HeapAlloc(GetProcessHeap(), 0, sizeof(FloorObject));
        if (!memory)
            return E_OUTOFMEMORY;
        FloorObject* object = new (memory) FloorObject;
        InterlockedIncrement(&floorLocks);
        object->AddRef();
        const HRESULT hr = object->QueryInterface(riid, ppv);
        object->Release();
        return hr;
    }
    STDMETHODIMP LockServer(BOOL lock) override
    {
        lock ? InterlockedIncrement(&floorLocks) : InterlockedDecrement(&floorLocks);
        return S_OK;
    }

private:
    LONG references = 1;
} floorFactory;

HRESULT WINAPI FloorGetClassObject(REFCLSID clsid, REFIID riid, void** ppv)
{
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (!IsEqualCLSID(clsid, CLSID_VireoPlugin))
        return CLASS_E_CLASSNOTAVAILABLE;
    return floorFactory.QueryInterface(riid, ppv);
}

// One activation as a host does it: class object, instance, the plug-in interface, all released.
void Activate(GetClassObjectFunction getClassObject)
{
    IClassFactory* factory = nullptr;
    IUnknown* unknown = nullptr;
    IWMPPluginUI* plugin = nullptr;
    getClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    factory->CreateInstance(nullptr, IID_IUnknown, reinterpret_cast<void**>(&unknown));
    unknown->QueryInterface(IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin));
    plugin->Release();
    unknown->Release();
    factory->Release();
}

// Dialogs end as soon as they are initialised and painted: the modal loop then tells its owner
// that it is idle, and the owner cancels the dialog.
LRESULT CALLBACK OwnerProcedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_ENTERIDLE && wParam == MSGF_DIALOGBOX) {
        HWND dialog = reinterpret_cast<HWND>(lParam);
        if (!GetPropA(dialog, "closing")) {
            SetPropA(dialog, "closing", reinterpret_cast<HANDLE>(1));
            PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
        }
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HINSTANCE dllInstance;

// The floor for the dialog: a plain dialog procedure doing the same work with the same helpers.
INT_PTR CALLBACK FloorDialogProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG: {
        CenterOnOwner(dialog, nullptr);
        char format[256], about[256];
        if (GetDlgItemTextA(dialog, 1001, format, 256)) {
            FormatAboutText(format, "TSL Vireo Decoder", "1.0.0.9", about, sizeof about);
            SetDlgItemTextA(dialog, 1001, about);
        }
        const DWORD stored = ReadDwordSetting(HKEY_CURRENT_USER, QualityKeyPath, QualityValueName, DefaultQuality);
        SendMessageA(GetDlgItem(dialog, stored ? 1002 : 1003), BM_SETCHECK, BST_CHECKED, 0);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        DrawMaskedBitmap(dllInstance, dialog, 30, 30, 32, 32, "IDB_TSLBMP");
        return 1;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
            return TRUE;
        }
        return FALSE;
    }
    return FALSE;
}

std::string DllPath(int argc, char** argv)
{
    if (argc > 1)
        return argv[1];
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path, length);
    return folder.substr(0, folder.find_last_of("\\/") + 1) + "VIREOPLUGIN.DLL";
}

void Row(const char* what, const char* subject, const char* floor, const char* ratio, const char* goal)
{
    std::printf("| %s | %s | %s | %s | %s |\n", what, subject, floor, ratio, goal);
}

template <class... Values>
std::string Format(const char* format, Values... values)
{
    char text[256];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    SetProcessDEPPolicy(PROCESS_DEP_ENABLE | PROCESS_DEP_DISABLE_ATL_THUNK_EMULATION);
    CoInitialize(nullptr);
    const std::string path = DllPath(argc, argv);

    // Load: the module mapped, started, used once and unloaded, beside an empty module with the
    // same imports mapped, started and unloaded. One group of rounds moves by several per cent, so
    // the ratio is the median of nine groups' ratios, given with their spread.
    const std::string emptyPath = path.substr(0, path.find_last_of("\\/") + 1) + "EMPTYMODULE.DLL";
    bool loaded = true;
    std::vector<std::pair<double, double>> loadGroups;
    for (int group = 0; group < LoadGroups; ++group)
        loadGroups.push_back(SideBySide(
        LoadRoundsPerGroup, 1,
        [&] {
            HMODULE module = LoadLibraryA(path.c_str());
            loaded = loaded && module;
            if (module) {
                Activate(reinterpret_cast<GetClassObjectFunction>(
                    reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject"))));
                FreeLibrary(module);
            }
        },
        [&] {
            HMODULE module = LoadLibraryA(emptyPath.c_str());
            loaded = loaded && module;
            if (module)
                FreeLibrary(module);
        }));
    std::sort(loadGroups.begin(), loadGroups.end(),
              [](const auto& a, const auto& b) { return a.first / a.second < b.first / b.second; });
    const auto& load = loadGroups[LoadGroups / 2];
    const double lowestLoad = loadGroups.front().first / loadGroups.front().second;
    const double highestLoad = loadGroups.back().first / loadGroups.back().second;
    if (!loaded) {
        std::printf("error: cannot load %s or %s\n", path.c_str(), emptyPath.c_str());
        return 1;
    }

    HMODULE module = LoadLibraryA(path.c_str());
    dllInstance = module;
    auto getClassObject =
        reinterpret_cast<GetClassObjectFunction>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    const int patched = importcounter::Install(module);

    // One of each first, so that neither side pays for what the process loads on first use.
    Activate(getClassObject);
    Activate(FloorGetClassObject);
    const auto activation = SideBySide(9, 20000, [&] { Activate(getClassObject); }, [] { Activate(FloorGetClassObject); });

    WNDCLASSA ownerClass = {};
    ownerClass.lpfnWndProc = OwnerProcedure;
    ownerClass.hInstance = GetModuleHandleA(nullptr);
    ownerClass.lpszClassName = "VireoBenchOwner";
    RegisterClassA(&ownerClass);
    HWND owner = CreateWindowExA(0, "VireoBenchOwner", "Bench", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 100, 100, 500, 400,
                                 nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    IClassFactory* factory = nullptr;
    IWMPPluginUI* plugin = nullptr;
    getClassObject(CLSID_VireoPlugin, IID_IClassFactory, reinterpret_cast<void**>(&factory));
    factory->CreateInstance(nullptr, IID_IWMPPluginUI, reinterpret_cast<void**>(&plugin));
    const auto* dialogTemplate = static_cast<const DLGTEMPLATE*>(
        LockResource(LoadResource(module, FindResourceA(module, MAKEINTRESOURCEA(IDD_QUALITY), MAKEINTRESOURCEA(5)))));

    plugin->DisplayPropertyPage(owner);
    DialogBoxIndirectParamA(module, dialogTemplate, owner, FloorDialogProcedure, 0);
    const auto dialog = SideBySide(
        15, 4, [&] { plugin->DisplayPropertyPage(owner); },
        [&] { DialogBoxIndirectParamA(module, dialogTemplate, owner, FloorDialogProcedure, 0); });

    // Allocations the module itself makes, counted through its import table.
    const importcounter::Counts beforeDialog = importcounter::Now();
    plugin->DisplayPropertyPage(owner);
    const importcounter::Counts afterDialog = importcounter::Now();
    Activate(getClassObject);
    const importcounter::Counts afterActivation = importcounter::Now();

    plugin->Release();
    factory->Release();
    DestroyWindow(owner);

    WIN32_FILE_ATTRIBUTE_DATA file = {};
    GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &file);

    std::printf("| measure | plug-in | floor | ratio | goal |\n|---|---|---|---|---|\n");
    Row("activation: DllGetClassObject + CreateInstance + QueryInterface + Release, per operation",
        Format("%.2f us", activation.first * 1e6).c_str(), Format("%.2f us", activation.second * 1e6).c_str(),
        Format("%.2f", activation.first / activation.second).c_str(), "at most 1.5");
    Row("properties dialog: shown, initialised, painted and closed, per dialog",
        Format("%.2f ms", dialog.first * 1e3).c_str(), Format("%.2f ms", dialog.second * 1e3).c_str(),
        Format("%.3f", dialog.first / dialog.second).c_str(), "at most 1.10");
    Row(Format("load: LoadLibrary + first instance + FreeLibrary (floor: an empty module with the same imports, no "
               "instance), median of %d groups of %d rounds (spread: lowest - highest group)",
               LoadGroups, LoadRoundsPerGroup)
            .c_str(),
        Format("%.0f us", load.first * 1e6).c_str(), Format("%.0f us", load.second * 1e6).c_str(),
        Format("%.3f (%.3f - %.3f)", load.first / load.second, lowestLoad, highestLoad).c_str(), "at most 1.08");
    Row("heap allocations by the module per dialog (thunk pages separately)",
        Format("%.0f", double(afterDialog.heapAllocations - beforeDialog.heapAllocations)).c_str(), "-", "-", "0");
    Row("executable thunk pages per dialog",
        Format("%.0f", double(afterDialog.virtualAllocations - beforeDialog.virtualAllocations)).c_str(), "-", "-",
        "1");
    Row("heap allocations by the module per plug-in activation",
        Format("%.0f", double(afterActivation.heapAllocations - afterDialog.heapAllocations)).c_str(), "-", "-",
        "1 (the object; the class object is cached)");
    Row("VIREOPLUGIN.DLL size", Format("%.0f bytes", double(file.nFileSizeLow)).c_str(), "-", "-", "at most 48 KiB");
    std::printf("\n(%d import entries counted)\n", patched);
    FreeLibrary(module);
    CoUninitialize();
    return 0;
}
