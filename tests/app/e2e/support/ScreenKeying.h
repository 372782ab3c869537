// ScreenKeying: a testee at a test screen: reads each source text the screen shows and keys it into the
// focused entry field, with a chosen mistake, moving on by Enter or by the screen's auto-advance.
#pragma once

#include <QList>
#include <QString>

class QWidget;

namespace e2e {

// How the testee moves from a filled field to the next: Enter, or nothing (the screen's auto-advance).
enum class MoveOn { Enter, AutoAdvance };

// One field as the testee met it: the text the screen showed and the text keyed (what the field held).
struct KeyedField {
    QString source;
    QString keyed;
};

// What to type for a shown text: the text itself, but for an entry field with an input mask (the
// alphanumeric screen's date and amount) only the characters the mask takes from the testee, its
// separators being the mask's own.
QString KeysFor(const QWidget& screen, int position, const QString& shown);

// Keys the fields `from` to `to` of the screen on display, each once the focus reaches it: the shown text,
// or at `mistakeAt` (a position; 0 for none) that text with its first character wrong; then Enter when
// `move` says so. Returns the fields in position order. Fails the test and stops when a field does not
// get the focus.
QList<KeyedField> KeyFields(const QWidget& screen, int from, int to, int mistakeAt, MoveOn move);

// The number of entry fields of a test screen.
int FieldCount(const QWidget& screen);

}  // namespace e2e
