// What a call that can fail gives back: a value, or why there is none.
#pragma once

#include <optional>
#include <string>
#include <utility>

namespace production {

template <class T>
struct [[nodiscard]] Result {
    std::optional<T> value;
    std::string why;  // set when there is no value

    static Result Ok(T v) { return {std::move(v), {}}; }
    static Result Error(std::string why) { return {std::nullopt, std::move(why)}; }
    explicit operator bool() const { return value.has_value(); }
};

}  // namespace production
