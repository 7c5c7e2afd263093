#ifndef TOLVANE_SETTINGVALUE_H
#define TOLVANE_SETTINGVALUE_H

#include <atomic>
#include <mutex>
#include <type_traits>
#include <utility>

// One process-wide setting that the settings refresher replaces while the camera
// worker and the service clients read it from their own threads.
//
// get() returns a copy of the whole current value and set() replaces it in one
// step, so a reader never sees a torn value (half of an old text, half of a new
// one). Numbers sit in a std::atomic; every other type (QString) is copied under
// a std::mutex of its own. The synchronisation lives in this header on purpose:
// the stress test builds exactly this template with ThreadSanitizer.
//
// Each setting is consistent on its own; two settings read one after the other
// (a range's minimum and maximum, say) may come from two different refreshes.
template<typename T, bool IsNumber = std::is_arithmetic<T>::value> class SettingValue
{
public:
    SettingValue() = default;
    explicit SettingValue(T initial)
        : value(std::move(initial))
    {
    }
    SettingValue(const SettingValue &) = delete;
    SettingValue &operator=(const SettingValue &) = delete;

    T get() const
    {
        std::lock_guard<std::mutex> locker(mutex);
        return value;
    }

    void set(T replacement)
    {
        {
            std::lock_guard<std::mutex> locker(mutex);
            std::swap(value, replacement);
        }
        // The old value is released here, outside the lock.
    }

private:
    mutable std::mutex mutex;
    T value {};
};

template<typename T> class SettingValue<T, true>
{
public:
    constexpr SettingValue()
        : value(T {})
    {
    }
    constexpr explicit SettingValue(T initial)
        : value(initial)
    {
    }
    SettingValue(const SettingValue &) = delete;
    SettingValue &operator=(const SettingValue &) = delete;

    T get() const { return value.load(std::memory_order_acquire); }
    void set(T replacement) { value.store(replacement, std::memory_order_release); }

private:
    std::atomic<T> value;
};

#endif
