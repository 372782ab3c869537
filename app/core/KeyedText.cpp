#include "app/core/KeyedText.h"

#include <stdexcept>

namespace app {

KeyedText::KeyedText(int capacity, int fields) : capacity_(capacity), fields_(fields) {
    if (capacity < 1 || fields < 1) throw std::invalid_argument("a keyed-text store needs screens and fields");
    texts_.resize(static_cast<std::size_t>(capacity) * static_cast<std::size_t>(fields));
}

void KeyedText::Clear() {
    for (std::string& text : texts_) text.clear();
}

std::size_t KeyedText::Index(int screen, int position) const {
    if (screen < 1 || screen > capacity_ || position < 1 || position > fields_) {
        throw std::out_of_range("keyed text of screen " + std::to_string(screen) + ", field " +
                                std::to_string(position) + " lies outside the " + std::to_string(capacity_) +
                                " by " + std::to_string(fields_) + " store");
    }
    return static_cast<std::size_t>(screen - 1) * static_cast<std::size_t>(fields_) +
           static_cast<std::size_t>(position - 1);
}

const std::string& KeyedText::At(int screen, int position) const {
    return texts_[Index(screen, position)];
}

void KeyedText::Set(int screen, int position, std::string text) {
    texts_[Index(screen, position)] = std::move(text);
}

}  // namespace app
