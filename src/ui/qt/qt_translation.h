#pragma once

class QTranslator;

namespace pelorin::ui {

// Qt's own texts (the captions, labels, buttons and questions of its dialogs
// and menus) in Japanese, like the rest of the window: loads the translation
// that Qt keeps for its base module into translator and installs it for the
// application. False, and Qt's texts stay English, when Qt has none.
bool InstallJapaneseQtTexts(QTranslator& translator);

}  // namespace pelorin::ui
