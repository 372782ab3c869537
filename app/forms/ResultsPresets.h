// ResultsPresets: what the main window's first show sets on the results window before it is ever shown.
#pragma once

#include <cstdint>

namespace app {

// The results window takes its sort choice from the setting `sort` and its filter choice of all results.
// The main window finds it through the form registry's slot, by this interface.
class ResultsPresets {
public:
    virtual ~ResultsPresets();

    virtual void PresetChoices(std::int32_t sort) = 0;
};

}  // namespace app
