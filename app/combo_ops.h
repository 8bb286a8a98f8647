// The drop-down list operations every list of the program uses; an entry's item value is its
// item data (an int).
#pragma once

#include <QComboBox>
#include <QString>

namespace app {

// Searches from the last entry to the first; selects the match and returns its position, or
// selects nothing and returns -1.
int SelectByValue(QComboBox& box, int value);
// The selected entry's item value, 0 when nothing is selected.
int ValueOfSelection(const QComboBox& box);
// The text of the lowest-positioned entry with that item value (empty when none).
QString TextOfValue(const QComboBox& box, int value);

}  // namespace app
