// scaleBy: a new form made num/den of its design size, as the settings' scale factor asks.
#pragma once

class QWidget;

namespace app {

// Scales, once, a form that has not been scaled: the fonts that widgets set themselves (the form's own
// always), explicit fixed, minimum and maximum sizes, the geometry of children that no layout places,
// layout margins and spacing, then the design size (the form's size now); each value times num / den,
// rounded half away from zero. A second call on one form raises std::logic_error: scaling compounds,
// and a form is re-created to take another factor. A den of 0 or less raises std::invalid_argument.
void scaleBy(QWidget& form, int num, int den);

// Whether scaleBy has been applied to the form.
bool IsScaled(const QWidget& form);

}  // namespace app
