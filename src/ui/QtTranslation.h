// Qt's own texts (file dialogs without a native one, the font dialog,
// standard buttons) in Japanese, like the rest of the interface.
#pragma once

class QCoreApplication;
class QTranslator;

namespace nami {

// Loads Qt's Japanese translation ("qtbase_ja" from Qt's translations
// folder) into `app`; the translator (owned by `app`), or nullptr when the
// translation is not installed.
QTranslator* InstallQtJapanese(QCoreApplication& app);

}  // namespace nami
