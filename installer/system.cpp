#include "system.h"

#include <cstring>

namespace installer {

std::string BoundedText(const char* buffer, std::size_t capacity) {
    const void* nul = std::memchr(buffer, '\0', capacity);
    const std::size_t length =
        nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - buffer) : capacity;
    return std::string(buffer, length);
}

}  // namespace installer
