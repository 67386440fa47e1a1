// Qt's own texts (file dialogs without a native one, the font dialog,
// standard buttons) in Japanese, like the rest of the interface.
#pragma once

class QCoreApplication;

namespace nami {

// Loads Qt's Japanese translation ("qtbase_ja" from Qt's translations
// folder) into `app`; false when it is not installed.
bool InstallQtJapanese(QCoreApplication& app);

}  // namespace nami
