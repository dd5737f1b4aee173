#pragma once
// Static storage whose object is never destroyed: the leak tracker's exit step runs after
// every static destructor and still reaches what it holds. The wrapper itself is trivially
// destructible, so the runtime registers nothing for it.

#include <memory>
#include <new>
#include <utility>

template <typename T>
class TNeverDestroyed {
public:
    template <typename... Args>
    explicit TNeverDestroyed(Args&&... args)
    {
        new (storage_) T(std::forward<Args>(args)...);
    }
    TNeverDestroyed(const TNeverDestroyed&) = delete;
    TNeverDestroyed& operator=(const TNeverDestroyed&) = delete;
    T& Get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

// Starts a static object's life again, empty, in its own storage after the runtime destroyed
// it at exit: the leak report runs after every static destructor and uses the road's globals.
// The old contents are dropped, not freed (their destructor already ran).
template <typename T>
void ReviveStatic(T& object)
{
    new (static_cast<void*>(std::addressof(object))) T();
}
