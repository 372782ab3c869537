#include "app/ResultsPresets.h"

namespace app {

ResultsPresets::~ResultsPresets() = default;

}  // namespace app
