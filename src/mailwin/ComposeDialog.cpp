#include "mailwin/ComposeDialog.h"

#include <QDialogButtonBox>
#include <QFontMetrics>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QRegularExpressionValidator>
#include <QTextBlock>
#include <QVBoxLayout>

#include "qt/Cp932String.h"
#include "text/Cp932.h"
#include "text/Messages.h"

namespace nami {
namespace {

QString Text(const std::string& utf8) { return QString::fromStdString(utf8); }

// A line's width as the terminal shows it: its CP932 bytes (a character
// without a CP932 form counts two).
int Columns(const QString& line) { return static_cast<int>(Utf8ToCp932(line.toStdString()).size()); }

}  // namespace

CComposeDialog::CComposeDialog(const mailbox::SOutgoing& message, const QString& title, const QFont& font,
                               QWidget* parent)
    : QDialog(parent), message_(message) {
  setWindowTitle(title);
  to_ = new QLineEdit(Text(message.to), this);
  at_ = new QLineEdit(Text(message.at), this);
  // Calls are upper case on the air; typed lower case is taken as meant.
  for (QLineEdit* e : {to_, at_}) {
    e->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[A-Za-z0-9./#-]*")), e));
    connect(e, &QLineEdit::textEdited, e, [e](const QString& t) {
      const int at = e->cursorPosition();
      e->setText(t.toUpper());
      e->setCursorPosition(at);
    });
  }
  kind_ = new QComboBox(this);
  kind_->addItem(Text(msg::KindPersonal));
  kind_->addItem(Text(msg::KindBulletin));
  kind_->setCurrentIndex(message.bulletin ? 1 : 0);
  subject_ = new QLineEdit(Text(message.subject), this);
  body_ = new QPlainTextEdit(this);
  body_->setFont(font);
  body_->setLineWrapMode(QPlainTextEdit::NoWrap);
  body_->setPlainText(Text(message.body));
  const QFontMetrics fm(font);
  body_->setMinimumSize(82 * fm.horizontalAdvance(QLatin1Char('M')), 16 * fm.lineSpacing());
  place_ = new QLabel(this);
  status_ = new QLabel(this);
  status_->setWordWrap(true);

  auto* form = new QFormLayout;
  auto* address = new QHBoxLayout;
  address->addWidget(to_, 2);
  address->addWidget(new QLabel(Text(msg::FieldAt), this));
  address->addWidget(at_, 2);
  address->addWidget(new QLabel(Text(msg::FieldKind), this));
  address->addWidget(kind_, 1);
  form->addRow(Text(msg::FieldTo), address);
  form->addRow(Text(msg::FieldSubject), subject_);
  form->addRow(Text(msg::FieldBody), body_);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, this);
  draft_ = buttons->addButton(Text(msg::ButtonDraft), QDialogButtonBox::ActionRole);
  queue_ = buttons->addButton(Text(msg::ButtonQueue), QDialogButtonBox::AcceptRole);
  queue_->setDefault(false);
  queue_->setAutoDefault(false);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  connect(draft_, &QPushButton::clicked, this, [this] { Submit(false); });
  connect(queue_, &QPushButton::clicked, this, [this] { Submit(true); });

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(place_);
  layout->addWidget(status_);
  layout->addWidget(buttons);
  connect(body_, &QPlainTextEdit::cursorPositionChanged, this, &CComposeDialog::ShowPlace);
  connect(body_, &QPlainTextEdit::textChanged, this, &CComposeDialog::ShowPlace);
  ShowPlace();
  (message.to.empty() ? static_cast<QWidget*>(to_) : static_cast<QWidget*>(body_))->setFocus();
}

mailbox::SOutgoing CComposeDialog::Message() const {
  mailbox::SOutgoing o = message_;
  o.to = to_->text().trimmed().toUpper().toStdString();
  o.at = at_->text().trimmed().toUpper().toStdString();
  o.bulletin = kind_->currentIndex() == 1;
  o.subject = subject_->text().toStdString();
  o.body = body_->toPlainText().toStdString();
  if (!o.body.empty() && o.body.back() != '\n') o.body += '\n';
  return o;
}

std::pair<int, int> CComposeDialog::LongestLine(const QString& text) {
  int longest = 0, at = 0, number = 0;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    ++number;
    const int n = Columns(line);
    if (n > longest) {
      longest = n;
      at = number;
    }
  }
  return {longest, at};
}

void CComposeDialog::ShowPlace() {
  const QTextCursor c = body_->textCursor();
  const QString line = c.block().text();
  const int column = Columns(line.left(c.positionInBlock())) + 1;
  const std::string here = msg::Format(
      msg::LinePlace, {{"line", std::to_string(c.blockNumber() + 1)}, {"column", std::to_string(column)}});
  const auto [longest, at] = LongestLine(body_->toPlainText());
  if (longest > 79) {
    place_->setStyleSheet(QStringLiteral("color: #b06000"));
    place_->setText(Text(here + "  " +
                         msg::Format(msg::LineTooLong, {{"line", std::to_string(at)}, {"column", std::to_string(longest)}})));
  } else {
    place_->setStyleSheet(QString());
    place_->setText(Text(here));
  }
}

void CComposeDialog::Submit(bool queue) {
  if (!submit) return;
  mailbox::SOutgoing o = Message();
  const mailbox::SOutboxAnswer a = submit(o, queue);
  message_.id = o.id;
  message_.state = o.state;
  message_.slot = o.slot;
  message_.file = o.file;
  status_->setStyleSheet(a.ok ? QString() : QStringLiteral("color: #c00000"));
  status_->setText(Text(a.text));
  if (a.ok) accept();
}

}  // namespace nami
