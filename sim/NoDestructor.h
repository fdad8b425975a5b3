// Storage for a process-wide object that is built on first use and never destroyed, so that a
// program may end while another thread still uses it.
#ifndef VELNOR_SIM_NODESTRUCTOR_H
#define VELNOR_SIM_NODESTRUCTOR_H

#include <new>
#include <utility>

namespace velnorsim {

template <typename T>
class NoDestructor {
public:
    template <typename... Args>
    explicit NoDestructor(Args&&... args) {
        new (storage_) T(std::forward<Args>(args)...);
    }
    NoDestructor(const NoDestructor&) = delete;
    NoDestructor& operator=(const NoDestructor&) = delete;
    T& get() { return *std::launder(reinterpret_cast<T*>(storage_)); }

private:
    alignas(T) unsigned char storage_[sizeof(T)];
};

}  // namespace velnorsim

#endif
