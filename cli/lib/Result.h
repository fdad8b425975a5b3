// The one way a step of velnor's command layer reports how it went: a value, or the Failure
// that says why it has none. Words for people are in the Failure's message; its kind is the
// exit status it stands for.
#ifndef VELNOR_CLI_RESULT_H
#define VELNOR_CLI_RESULT_H

#include <optional>
#include <utility>
#include <variant>

#include "ExitStatus.h"

namespace velnorcli {

template <class T>
class [[nodiscard]] Result {
public:
    Result(T value) : held_(std::in_place_index<0>, std::move(value)) {}
    Result(Failure failure) : held_(std::in_place_index<1>, std::move(failure)) {}

    bool ok() const { return held_.index() == 0; }
    explicit operator bool() const { return ok(); }

    // Only when ok().
    T& operator*() { return std::get<0>(held_); }
    const T& operator*() const { return std::get<0>(held_); }
    T* operator->() { return &std::get<0>(held_); }
    const T* operator->() const { return &std::get<0>(held_); }

    // Only when !ok().
    const Failure& failure() const { return std::get<1>(held_); }

private:
    std::variant<T, Failure> held_;
};

// A step that gives nothing back but can fail.
template <>
class [[nodiscard]] Result<void> {
public:
    Result() = default;
    Result(Failure failure) : failure_(std::move(failure)) {}

    bool ok() const { return !failure_; }
    explicit operator bool() const { return ok(); }
    const Failure& failure() const { return *failure_; }

private:
    std::optional<Failure> failure_;
};

using Done = Result<void>;

}  // namespace velnorcli

#endif
