#pragma once

// Gives a variable of the module another value for one test and puts the old one back, even
// when a failed assertion ends the test early.
template <class T>
class ScopedValue {
public:
    ScopedValue(T& place, T value) : place(place), saved(place) { place = value; }
    ~ScopedValue() { place = saved; }
    ScopedValue(const ScopedValue&) = delete;
    ScopedValue& operator=(const ScopedValue&) = delete;

private:
    T& place;
    const T saved;
};
