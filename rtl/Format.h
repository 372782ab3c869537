// Fills the "%s" slots of a message pattern, so that every library composes its messages one way.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace rtl {

// Replaces each "%s" of the pattern by the next argument and "%%" by "%". A slot without an argument
// stays empty; surplus arguments are ignored. Every other character is copied as it stands.
std::string Format(std::string_view pattern, std::initializer_list<std::string_view> args);

}  // namespace rtl
