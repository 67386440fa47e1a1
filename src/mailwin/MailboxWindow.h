// The mailbox window: the folders with their counts on the left, the list
// of the chosen folder (CMailListModel) above the reader, a search field
// over the whole mailbox or the current folder, and the commands to write,
// reply, forward, delete, mark list entries to be read, and change or
// withdraw a queued message. It opens the profile's store (mailbox.sqlite
// beside NAMI.INI) on a connection of its own and follows the store's
// data version, so it refreshes itself when a run in this process or in
// another one (a `nami --headless --stay` service) adds messages.
#pragma once

#include <QComboBox>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTableView>
#include <QTimer>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <memory>

#include "mailbox/MailStore.h"
#include "mailwin/MailListModel.h"
#include "settings/Settings.h"

class QAction;

namespace nami {

class CComposeDialog;

class CMailboxWindow : public QWidget {
  Q_OBJECT

 public:
  enum class Folder { Inbox, ToMe, Unread, List, Queued, Sent, Drafts, Trash };
  static constexpr int kFolders = 8;
  static constexpr int kPollMs = 500;
  static constexpr int kCacheKb = 4096;

  // `settings` names the store, the profile and the station's call;
  // `readerFont` is the terminal's fixed-pitch font.
  CMailboxWindow(CSettings& settings, const QFont& readerFont, QWidget* parent = nullptr);
  ~CMailboxWindow() override;

  // Shows the folder (keeps the search).
  void ShowFolder(Folder folder);
  Folder CurrentFolder() const { return folder_; }
  // Shows message `number` of the profile (the newest stored) in 受信;
  // false when the store has none.
  bool ShowMessage(long long number);
  // Looks at the store now (the timer does it every kPollMs).
  void Poll();

  // The parts, for the tests and the measurements.
  QListWidget* Folders() const { return folders_; }
  QTableView* List() const { return table_; }
  CMailListModel* Model() const { return model_; }
  QPlainTextEdit* Reader() const { return reader_; }
  QLineEdit* Search() const { return search_; }
  QComboBox* SearchScope() const { return scope_; }
  QLabel* Status() const { return status_; }
  mailbox::CMailStore& Store() { return store_; }
  // The open compose form (nullptr when none).
  CComposeDialog* Compose() const { return compose_; }
  // The row's folder counts as last shown.
  const mailbox::SFolderCounts& Counts() const { return counts_; }

  // The commands (also on the keys N, R, F, Delete, Space, Enter, Ctrl+F).
  void NewMessage();
  void Reply();
  void Forward();
  void DeleteSelected();
  void SwitchMark();
  void OpenSelected();
  void Withdraw();
  void NextUnread();
  // Runs the search now (typing runs it after a short pause).
  void RunSearch();

  // Replaceable for tests: the clock (seconds since the epoch).
  std::function<std::int64_t()> now;

 private:
  void BuildWidgets(const QFont& readerFont);
  void BuildActions();
  void OpenStore();
  void RefreshCounts();
  void ShowCounts();
  mailbox::SViewQuery ViewOf(Folder folder) const;
  void ApplyView(std::int64_t keep);
  void ShowRow(int row);
  void ShowText(const QString& text);
  void Highlight();
  void UpdateActions();
  int CurrentRow() const;
  void SelectRow(int row);
  void OpenCompose(const mailbox::SOutgoing& message, const QString& title);
  void Say(const std::string& utf8, bool fault = false);
  std::int64_t Now() const;

  CSettings& settings_;
  mailbox::CMailStore store_;
  std::string profile_, myCall_;
  Folder folder_ = Folder::Inbox;
  mailbox::SFolderCounts counts_;
  std::int64_t version_ = -1;
  std::int64_t shownId_ = 0;
  QFont readerFont_;

  QListWidget* folders_ = nullptr;
  QTableView* table_ = nullptr;
  CMailListModel* model_ = nullptr;
  QPlainTextEdit* reader_ = nullptr;
  QLineEdit* search_ = nullptr;
  QComboBox* scope_ = nullptr;
  QLabel* status_ = nullptr;
  QTimer poll_;
  QTimer searchDelay_;
  CComposeDialog* compose_ = nullptr;
  QAction* reply_ = nullptr;
  QAction* forward_ = nullptr;
  QAction* delete_ = nullptr;
  QAction* mark_ = nullptr;
  QAction* openQueued_ = nullptr;
  QAction* withdraw_ = nullptr;
};

// The one mailbox window of the program, opened on `settings` (raised
// when it is already open); with `number` >= 0 it shows that message.
CMailboxWindow* OpenMailboxWindow(CSettings& settings, const QFont& readerFont, QWidget* parent,
                                  long long number = -1);

}  // namespace nami
