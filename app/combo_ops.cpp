#include "app/combo_ops.h"

namespace app {

int SelectByValue(QComboBox& box, int value) {
    for (int i = box.count() - 1; i >= 0; --i) {
        if (box.itemData(i).toInt() == value) {
            box.setCurrentIndex(i);
            return i;
        }
    }
    box.setCurrentIndex(-1);
    return -1;
}

int ValueOfSelection(const QComboBox& box) {
    const int i = box.currentIndex();
    return i < 0 ? 0 : box.itemData(i).toInt();
}

QString TextOfValue(const QComboBox& box, int value) {
    for (int i = 0; i < box.count(); ++i) {
        if (box.itemData(i).toInt() == value) return box.itemText(i);
    }
    return {};
}

}  // namespace app
