#include "mailwin/MailboxWindow.h"

#include <QAction>
#include <QApplication>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QPointer>
#include <QScrollBar>
#include <QSplitter>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolBar>
#include <QVBoxLayout>
#include <ctime>
#include <utility>
#include <unordered_set>

#include "mailbox/Outbox.h"
#include "mailbox/Reply.h"
#include "mailwin/ComposeDialog.h"
#include "text/Cp932.h"
#include "text/Messages.h"

namespace nami {

using mailbox::HeaderTable;
using mailbox::SHeaderRow;
using mailbox::SOutgoing;

namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

const std::string* const kFolderNames[CMailboxWindow::kFolders] = {
    &msg::FolderInbox, &msg::FolderToMe, &msg::FolderUnread, &msg::FolderList,
    &msg::FolderQueued, &msg::FolderSent, &msg::FolderDrafts, &msg::FolderTrash};

// Enter on the list opens the row.
class CEnterFilter : public QObject {
 public:
  CEnterFilter(QObject* parent, std::function<void()> open) : QObject(parent), open_(std::move(open)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::KeyPress) {
      const int key = static_cast<QKeyEvent*>(event)->key();
      if (key == Qt::Key_Return || key == Qt::Key_Enter) {
        open_();
        return true;
      }
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> open_;
};

// Runs `then` once, after the watched widget's first paint.
class CAfterFirstPaint : public QObject {
 public:
  CAfterFirstPaint(QObject* parent, std::function<void()> then) : QObject(parent), then_(std::move(then)) {}
  bool eventFilter(QObject* watched, QEvent* event) override {
    if (event->type() == QEvent::Paint && then_) {
      QTimer::singleShot(0, parent(), std::exchange(then_, nullptr));
      watched->removeEventFilter(this);
    }
    return QObject::eventFilter(watched, event);
  }

 private:
  std::function<void()> then_;
};

std::string FirstWord(const std::string& s) {
  const auto b = s.find_first_not_of(' ');
  if (b == std::string::npos) return {};
  return s.substr(b, s.find_first_of(" @", b) - b);
}

}  // namespace

CMailboxWindow::CMailboxWindow(CSettings& settings, const QFont& readerFont, QWidget* parent)
    : QWidget(parent, Qt::Window),
      settings_(settings),
      store_(mailbox::CMailStore::PathBeside(settings.Path())),
      profile_(Cp932ToUtf8(settings.ProfileSection())),
      myCall_(Cp932ToUtf8(settings.MyCall())),
      readerFont_(readerFont) {
  setWindowTitle(Text(msg::Format(msg::MailboxTitleProfile, {{"profile", profile_}})));
  OpenStore();
  BuildWidgets(readerFont);
  BuildActions();
  RefreshCounts();
  // The first screen from the newest rows alone; the whole list right after
  // it is painted, so a large mailbox opens as quickly as a small one.
  {
    mailbox::SViewQuery first = ViewOf(Folder::Inbox);
    first.limit = 2 * CMailListModel::kPageRows;
    model_->SetView(first);
    ShowText(counts_.inbox == 0 ? Text(msg::MailboxEmpty) : QString());
    Say(counts_.inbox == 0 ? msg::MailboxEmpty
                           : msg::Format(msg::MailboxCounts, {{"count", std::to_string(counts_.inbox)},
                                                              {"unread", std::to_string(counts_.inboxUnread)}}));
    auto whole = [this] {
      if (model_->View().limit > 0) ApplyView(model_->IdAt(CurrentRow()));
    };
    table_->viewport()->installEventFilter(new CAfterFirstPaint(this, whole));
    // Shown or not (the tests, a window opened hidden), it is loaded soon.
    QTimer::singleShot(1000, this, whole);
  }
  version_ = store_.DataVersion();
  connect(&poll_, &QTimer::timeout, this, &CMailboxWindow::Poll);
  poll_.start(kPollMs);
  searchDelay_.setSingleShot(true);
  searchDelay_.setInterval(150);
  connect(&searchDelay_, &QTimer::timeout, this, &CMailboxWindow::RunSearch);
}

CMailboxWindow::~CMailboxWindow() = default;

std::int64_t CMailboxWindow::Now() const { return now ? now() : static_cast<std::int64_t>(std::time(nullptr)); }

void CMailboxWindow::OpenStore() {
  mailbox::StoreFault f = store_.Open();
  // The window needs little of SQLite's page cache: it reads a page of rows at a time.
  if (!f) f = store_.PrepareViews(kCacheKb);
  if (f) Say(msg::Format(msg::MailboxFault, {{"reason", f.Text()}}), true);
}

void CMailboxWindow::BuildWidgets(const QFont& readerFont) {
  folders_ = new QListWidget(this);
  for (const std::string* name : kFolderNames) folders_->addItem(Text(*name));
  folders_->setCurrentRow(0);
  folders_->setMinimumWidth(QFontMetrics(font()).horizontalAdvance(QStringLiteral("送信待ち (99999/99999)")) + 16);
  connect(folders_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row >= 0) ShowFolder(static_cast<Folder>(row));
  });

  model_ = new CMailListModel(store_, this);
  model_->onMarkSwitched = [this](const SHeaderRow& entry, bool on) {
    if (const mailbox::StoreFault f = store_.SetMarked(profile_, entry.number, on))
      Say(msg::Format(msg::MailboxFault, {{"reason", f.Text()}}), true);
    RefreshCounts();
  };
  table_ = new QTableView(this);
  table_->setModel(model_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  table_->verticalHeader()->setDefaultSectionSize(QFontMetrics(font()).lineSpacing() + 4);
  table_->horizontalHeader()->setStretchLastSection(false);
  table_->horizontalHeader()->setSectionResizeMode(6, QHeaderView::Stretch);
  table_->horizontalHeader()->setSortIndicator(-1, Qt::DescendingOrder);
  table_->setSortingEnabled(true);
  const QFontMetrics fm(font());
  const int widths[] = {9, 4, 9, 9, 9, 12, 0, 6};
  for (int c = 0; c < CMailListModel::kColumns; ++c)
    if (widths[c] > 0) table_->setColumnWidth(c, widths[c] * fm.horizontalAdvance(QLatin1Char('0')) + 12);
  table_->installEventFilter(new CEnterFilter(this, [this] { OpenSelected(); }));
  connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current) { ShowRow(current.row()); });

  reader_ = new QPlainTextEdit(this);
  reader_->setReadOnly(true);
  reader_->setFont(readerFont);
  reader_->setLineWrapMode(QPlainTextEdit::NoWrap);
  const QFontMetrics rm(readerFont);
  reader_->setMinimumWidth(80 * rm.horizontalAdvance(QLatin1Char('M')) + 2 * reader_->frameWidth() +
                           static_cast<int>(2 * reader_->document()->documentMargin()) +
                           reader_->verticalScrollBar()->sizeHint().width());

  search_ = new QLineEdit(this);
  search_->setPlaceholderText(Text(msg::SearchPlaceholder));
  search_->setClearButtonEnabled(true);
  connect(search_, &QLineEdit::textChanged, this, [this] { searchDelay_.start(); });
  connect(search_, &QLineEdit::returnPressed, this, [this] {
    RunSearch();
    table_->setFocus();
  });
  scope_ = new QComboBox(this);
  scope_->addItem(Text(msg::SearchWhole));
  scope_->addItem(Text(msg::SearchFolder));
  connect(scope_, &QComboBox::currentIndexChanged, this, [this] { RunSearch(); });
  status_ = new QLabel(this);

  auto* right = new QSplitter(Qt::Vertical, this);
  right->addWidget(table_);
  right->addWidget(reader_);
  right->setStretchFactor(0, 1);
  right->setStretchFactor(1, 1);
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(folders_);
  split->addWidget(right);
  split->setStretchFactor(1, 1);
  split->setSizes({folders_->minimumWidth(), 4 * folders_->minimumWidth()});

  auto* bar = new QToolBar(this);
  bar->setObjectName(QStringLiteral("mailboxbar"));
  bar->setToolButtonStyle(Qt::ToolButtonTextOnly);
  auto* top = new QHBoxLayout;
  top->addWidget(bar, 3);
  top->addWidget(search_, 2);
  top->addWidget(scope_);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  layout->addLayout(top);
  layout->addWidget(split, 1);
  layout->addWidget(status_);
  resize(folders_->minimumWidth() + reader_->minimumWidth() + 40, 48 * rm.lineSpacing());
}

void CMailboxWindow::BuildActions() {
  auto* bar = findChild<QToolBar*>(QStringLiteral("mailboxbar"));
  auto add = [this, bar](const std::string& text, QKeySequence key, void (CMailboxWindow::*run)(), bool button) {
    auto* a = new QAction(Text(text), this);
    a->setShortcut(key);
    a->setShortcutContext(Qt::WindowShortcut);
    connect(a, &QAction::triggered, this, run);
    addAction(a);
    if (button) bar->addAction(a);
    return a;
  };
  add(msg::ActionNew, QKeySequence(Qt::Key_N), &CMailboxWindow::NewMessage, true);
  reply_ = add(msg::ActionReply, QKeySequence(Qt::Key_R), &CMailboxWindow::Reply, true);
  forward_ = add(msg::ActionForward, QKeySequence(Qt::Key_F), &CMailboxWindow::Forward, true);
  delete_ = add(msg::ActionDelete, QKeySequence(Qt::Key_Delete), &CMailboxWindow::DeleteSelected, true);
  mark_ = add(msg::ActionMark, QKeySequence(), &CMailboxWindow::SwitchMark, true);
  openQueued_ = add(msg::ActionOpenQueued, QKeySequence(), &CMailboxWindow::OpenSelected, true);
  withdraw_ = add(msg::ActionWithdraw, QKeySequence(), &CMailboxWindow::Withdraw, true);
  add(std::string(), QKeySequence(Qt::Key_Space), &CMailboxWindow::NextUnread, false);
  auto* find = new QAction(this);
  find->setShortcut(QKeySequence(QKeySequence::Find));
  connect(find, &QAction::triggered, this, [this] {
    search_->setFocus();
    search_->selectAll();
  });
  addAction(find);
  UpdateActions();
}

void CMailboxWindow::Say(const std::string& utf8, bool fault) {
  status_->setStyleSheet(fault ? QStringLiteral("color: #c00000") : QString());
  status_->setText(Text(utf8));
}

void CMailboxWindow::RefreshCounts() {
  if (store_.IsOpen()) store_.FolderCounts(profile_, myCall_, counts_);
  ShowCounts();
}

void CMailboxWindow::ShowCounts() {
  const mailbox::SFolderCounts& c = counts_;
  const std::pair<long long, long long> numbers[kFolders] = {
      {c.inbox, c.inboxUnread}, {c.toMe, c.toMeUnread}, {c.inboxUnread, c.inboxUnread}, {c.listEntries, 0},
      {c.queued, 0},           {c.sent, 0},             {c.drafts, 0},                {c.trash, c.trashUnread}};
  for (int i = 0; i < kFolders; ++i) {
    QListWidgetItem* item = folders_->item(i);
    const auto [count, unread] = numbers[i];
    const std::string text =
        unread > 0 && i != static_cast<int>(Folder::Unread)
            ? msg::Format(msg::FolderCountUnread,
                          {{"name", *kFolderNames[i]}, {"unread", std::to_string(unread)}, {"count", std::to_string(count)}})
            : msg::Format(msg::FolderCount, {{"name", *kFolderNames[i]}, {"count", std::to_string(count)}});
    item->setText(Text(text));
    QFont f = item->font();
    f.setBold(unread > 0);
    item->setFont(f);
  }
}

mailbox::SViewQuery CMailboxWindow::ViewOf(Folder folder) const {
  mailbox::SViewQuery q;
  q.profile = profile_;
  switch (folder) {
    case Folder::Inbox: q.folder = "inbox"; break;
    case Folder::ToMe:
      q.folder = "inbox";
      q.toCall = myCall_.empty() ? std::string("\x01") : myCall_;
      break;
    case Folder::Unread:
      q.folder = "inbox";
      q.unreadOnly = true;
      break;
    case Folder::List: q.table = HeaderTable::ListEntries; break;
    case Folder::Queued:
      q.table = HeaderTable::Outgoing;
      q.state = "queued";
      break;
    case Folder::Sent:
      q.table = HeaderTable::Outgoing;
      q.state = "sent";
      break;
    case Folder::Drafts:
      q.table = HeaderTable::Outgoing;
      q.state = "draft";
      break;
    case Folder::Trash: q.folder = "trash"; break;
  }
  return q;
}

void CMailboxWindow::ShowFolder(Folder folder) {
  folder_ = folder;
  if (folders_->currentRow() != static_cast<int>(folder)) {
    const QSignalBlocker block(folders_);
    folders_->setCurrentRow(static_cast<int>(folder));
  }
  ApplyView(0);
}

// The folder's view, or the search's hits in it or in the whole mailbox;
// the row of `keep` stays selected when it is still there.
void CMailboxWindow::ApplyView(std::int64_t keep) {
  mailbox::SViewQuery q = ViewOf(folder_);
  q.sortColumn = model_->View().sortColumn;
  q.descending = model_->View().descending;
  const std::string text = search_->text().trimmed().toStdString();
  if (text.empty() || !store_.IsOpen()) {
    model_->SetView(q);
  } else {
    std::vector<mailbox::SMessageRow> rows;
    store_.Search(profile_, text, 5000, rows);
    std::unordered_set<std::int64_t> hits;
    for (const auto& r : rows) hits.insert(r.id);
    if (scope_->currentIndex() == 0 || q.table != HeaderTable::Messages) {
      mailbox::SViewQuery whole;
      whole.profile = profile_;
      whole.sortColumn = q.sortColumn;
      whole.descending = q.descending;
      q = whole;
    }
    model_->SetView(q, &hits);
    Say(msg::Format(msg::SearchHits, {{"count", std::to_string(model_->rowCount())}}));
  }
  const int row = keep ? model_->RowOfId(keep) : -1;
  // Nothing is opened unasked: opening marks a message read.
  if (row >= 0) {
    SelectRow(row);
  } else {
    table_->selectionModel()->clear();
    shownId_ = 0;
    ShowText(counts_.inbox == 0 && folder_ == Folder::Inbox ? Text(msg::MailboxEmpty) : QString());
  }
  if (text.empty()) {
    if (model_->rowCount() == 0 && folder_ == Folder::Inbox) Say(msg::MailboxEmpty);
    else if (status_->styleSheet().isEmpty()) Say(msg::Format(msg::MailboxCounts, {{"count", std::to_string(counts_.inbox)}, {"unread", std::to_string(counts_.inboxUnread)}}));
  }
  UpdateActions();
}

void CMailboxWindow::SelectRow(int row) {
  const QModelIndex index = model_->index(row, 0);
  table_->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  table_->scrollTo(index);
}

int CMailboxWindow::CurrentRow() const {
  const QModelIndex i = table_->selectionModel()->currentIndex();
  return i.isValid() ? i.row() : -1;
}

void CMailboxWindow::ShowText(const QString& text) {
  reader_->setPlainText(text);
  Highlight();
}

void CMailboxWindow::ShowRow(int row) {
  const SHeaderRow* h = model_->RowAt(row);
  UpdateActions();
  if (!h) return;
  const HeaderTable table = model_->View().table;
  std::int64_t messageId = table == HeaderTable::Messages ? h->id : 0;
  if (table == HeaderTable::ListEntries && h->read) store_.MessageIdOf(profile_, h->number, messageId);
  if (messageId != 0) {
    mailbox::SMessageRow m;
    bool found = false;
    store_.FindById(messageId, m, found);
    if (!found) return;
    shownId_ = messageId;
    ShowText(Text(m.headers + "\n\n" + m.body));
    if (m.unread && !store_.MarkRead(m.id, Now())) {
      model_->Forget(row);
      // One message less unread: counted here, not by counting them all again.
      (m.folder == "trash" ? counts_.trashUnread : counts_.inboxUnread) -= 1;
      if (m.folder != "trash" && !myCall_.empty() && QString::fromStdString(m.to).compare(QString::fromStdString(myCall_), Qt::CaseInsensitive) == 0)
        counts_.toMeUnread -= 1;
      ShowCounts();
    }
    return;
  }
  if (table == HeaderTable::ListEntries) {
    shownId_ = 0;
    ShowText(Text("#" + std::to_string(h->number) + "  " + h->type + "  " + h->to + (h->at.empty() ? "" : " @" + h->at) +
                  "  " + h->from + "  " + h->date + "\n" + h->subject));
    return;
  }
  SOutgoing o;
  bool found = false;
  store_.FindOutgoing(h->id, o, found);
  if (!found) return;
  shownId_ = 0;
  std::string text = msg::FieldTo + ": " + o.to + (o.at.empty() ? "" : " @ " + o.at) + "\n" + msg::FieldSubject +
                     ": " + o.subject + "\n";
  if (!o.answer.empty()) text += o.answer + "\n";
  ShowText(Text(text + "\n" + o.body));
}

void CMailboxWindow::Highlight() {
  QList<QTextEdit::ExtraSelection> marks;
  const QString text = search_ ? search_->text().trimmed() : QString();
  if (!text.isEmpty()) {
    QTextCursor c(reader_->document());
    QTextCharFormat hit;
    hit.setBackground(QColor(255, 230, 80));
    while (!(c = reader_->document()->find(text, c)).isNull()) {
      QTextEdit::ExtraSelection s;
      s.cursor = c;
      s.format = hit;
      marks.append(s);
    }
  }
  reader_->setExtraSelections(marks);
}

void CMailboxWindow::UpdateActions() {
  if (!reply_) return;
  const HeaderTable table = model_->View().table;
  const SHeaderRow* h = model_->RowAt(CurrentRow());
  const bool message = h && (table == HeaderTable::Messages || (table == HeaderTable::ListEntries && h->read));
  reply_->setEnabled(message);
  forward_->setEnabled(message);
  delete_->setEnabled(h && (table == HeaderTable::Messages ? folder_ != Folder::Trash
                                                           : folder_ == Folder::Drafts));
  mark_->setEnabled(h && table == HeaderTable::ListEntries);
  openQueued_->setEnabled(h && (folder_ == Folder::Queued || folder_ == Folder::Drafts));
  withdraw_->setEnabled(h && folder_ == Folder::Queued);
}

void CMailboxWindow::Poll() {
  if (!store_.IsOpen()) {
    OpenStore();
    if (!store_.IsOpen()) return;
  }
  const std::int64_t v = store_.DataVersion();
  if (v == version_) return;
  version_ = v;
  const std::int64_t keep = model_->IdAt(CurrentRow());
  const int scroll = table_->verticalScrollBar()->value();
  RefreshCounts();
  ApplyView(keep);
  if (keep == 0) table_->verticalScrollBar()->setValue(scroll);
}

void CMailboxWindow::RunSearch() {
  searchDelay_.stop();
  ApplyView(model_->IdAt(CurrentRow()));
  Highlight();
}

bool CMailboxWindow::ShowMessage(long long number) {
  std::int64_t id = 0;
  store_.MessageIdOf(profile_, number, id);
  if (id == 0) return false;
  search_->clear();
  ShowFolder(Folder::Inbox);
  int row = model_->RowOfId(id);
  if (row < 0) {
    // Deleted meanwhile: it is in the trash.
    ShowFolder(Folder::Trash);
    row = model_->RowOfId(id);
  }
  if (row >= 0) SelectRow(row);
  return row >= 0;
}

void CMailboxWindow::OpenCompose(const SOutgoing& message, const QString& title) {
  if (compose_) {
    compose_->raise();
    return;
  }
  compose_ = new CComposeDialog(message, title, readerFont_, this);
  compose_->setAttribute(Qt::WA_DeleteOnClose);
  compose_->submit = [this](SOutgoing& o, bool queue) {
    mailbox::SOutboxAnswer a = queue ? mailbox::QueueOutgoing(store_, settings_, o, Now())
                                     : mailbox::SaveDraft(store_, o, Now());
    if (a.ok) Say(a.text);
    return a;
  };
  connect(compose_, &QDialog::finished, this, [this] {
    compose_ = nullptr;
    RefreshCounts();
    ApplyView(model_->IdAt(CurrentRow()));
  });
  compose_->open();
}

void CMailboxWindow::NewMessage() {
  SOutgoing o;
  o.profile = profile_;
  OpenCompose(o, Text(msg::ComposeNew));
}

void CMailboxWindow::Reply() {
  mailbox::SMessageRow m;
  bool found = false;
  if (shownId_ != 0) store_.FindById(shownId_, m, found);
  if (!found) return;
  SOutgoing o;
  o.profile = profile_;
  o.to = FirstWord(m.from);
  o.subject = mailbox::ReplySubject(m.subject);
  o.body = "\n\n" + mailbox::QuoteBody(m.body);
  OpenCompose(o, Text(msg::ComposeReply));
}

void CMailboxWindow::Forward() {
  mailbox::SMessageRow m;
  bool found = false;
  if (shownId_ != 0) store_.FindById(shownId_, m, found);
  if (!found) return;
  SOutgoing o;
  o.profile = profile_;
  o.subject = m.subject;
  o.body = mailbox::ForwardBody("", msg::ForwardSeparator, m.headers, m.body);
  OpenCompose(o, Text(msg::ComposeForward));
}

void CMailboxWindow::DeleteSelected() {
  const int row = CurrentRow();
  const SHeaderRow* h = model_->RowAt(row);
  if (!h) return;
  mailbox::StoreFault f;
  const HeaderTable table = model_->View().table;
  if (table == HeaderTable::Messages && folder_ != Folder::Trash) {
    f = store_.SetFolder(h->id, "trash");
  } else if (folder_ == Folder::Drafts) {
    f = store_.DeleteOutgoing(h->id);
  } else if (folder_ == Folder::Queued) {
    Withdraw();
    return;
  } else {
    return;
  }
  if (f) Say(msg::Format(msg::MailboxFault, {{"reason", f.Text()}}), true);
  const std::int64_t next = model_->IdAt(row + 1) ? model_->IdAt(row + 1) : model_->IdAt(row - 1);
  RefreshCounts();
  ApplyView(next);
}

void CMailboxWindow::SwitchMark() {
  const int row = CurrentRow();
  const SHeaderRow* h = model_->RowAt(row);
  if (!h || model_->View().table != HeaderTable::ListEntries) return;
  model_->setData(model_->index(row, 0), h->marked ? Qt::Unchecked : Qt::Checked, Qt::CheckStateRole);
}

void CMailboxWindow::OpenSelected() {
  const int row = CurrentRow();
  const SHeaderRow* h = model_->RowAt(row);
  if (!h) return;
  const HeaderTable table = model_->View().table;
  if (table == HeaderTable::Outgoing && (folder_ == Folder::Queued || folder_ == Folder::Drafts)) {
    SOutgoing o;
    bool found = false;
    store_.FindOutgoing(h->id, o, found);
    if (found) OpenCompose(o, Text(folder_ == Folder::Queued ? msg::ComposeChange : msg::ComposeNew));
  } else if (table == HeaderTable::ListEntries && !h->read) {
    SwitchMark();
  } else {
    reader_->setFocus();
  }
}

void CMailboxWindow::Withdraw() {
  const SHeaderRow* h = model_->RowAt(CurrentRow());
  if (!h || folder_ != Folder::Queued) return;
  SOutgoing o;
  bool found = false;
  store_.FindOutgoing(h->id, o, found);
  if (!found) return;
  const mailbox::SOutboxAnswer a = mailbox::WithdrawOutgoing(store_, settings_, o);
  Say(a.text, !a.ok);
  RefreshCounts();
  ApplyView(0);
}

void CMailboxWindow::NextUnread() {
  if (model_->View().table != HeaderTable::Messages) ShowFolder(Folder::Inbox);
  // Nearby first (a few pages); past them the unread folder finds it at once.
  int row = model_->NextUnread(CurrentRow(), 4 * CMailListModel::kPageRows);
  if (row < 0 && folder_ != Folder::Unread && counts_.inboxUnread > 0) {
    ShowFolder(Folder::Unread);
    row = model_->rowCount() > 0 ? 0 : -1;
  }
  if (row >= 0) SelectRow(row);
}

CMailboxWindow* OpenMailboxWindow(CSettings& settings, const QFont& readerFont, QWidget* parent, long long number) {
  static QPointer<CMailboxWindow> window;
  if (!window) {
    window = new CMailboxWindow(settings, readerFont, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
  }
  window->show();
  window->raise();
  window->activateWindow();
  if (number >= 0) window->ShowMessage(number);
  return window;
}

}  // namespace nami
