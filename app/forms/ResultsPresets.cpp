#include "app/forms/ResultsPresets.h"

namespace app {

ResultsPresets::~ResultsPresets() = default;

}  // namespace app
