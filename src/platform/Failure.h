// The one kind of failure the program raises: it travels to the guard of the
// function that contains it (a stage's caller, the main cycle's tick guard)
// and is never reported to the user.
#pragma once

#include <stdexcept>
#include <string>

namespace kx {

class Failure : public std::runtime_error {
public:
    explicit Failure(const std::string& what) : std::runtime_error(what) {}
};

}  // namespace kx
