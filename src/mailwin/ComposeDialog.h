// The one form for a new message, a reply, a forward and a change to a
// queued or draft message: 宛先, @BBS, 私信/掲示, 件名, 本文. Below the text
// the caret's line and column (columns as the terminal counts them, a
// full-width character two) and a warning for a line past 79 columns.
// 下書き保存 and 送信予約 hand the message to `submit`; a refusal stays
// in the form, in red, until the user changes what it names.
#pragma once

#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <functional>

#include "mailbox/MailStore.h"
#include "mailbox/Outbox.h"

namespace nami {

class CComposeDialog : public QDialog {
  Q_OBJECT

 public:
  CComposeDialog(const mailbox::SOutgoing& message, const QString& title, const QFont& font,
                 QWidget* parent = nullptr);

  // The message as the form holds it now.
  mailbox::SOutgoing Message() const;
  // Saves (queue = false) or queues it; the answer is shown, and an
  // accepted one closes the form.
  std::function<mailbox::SOutboxAnswer(mailbox::SOutgoing& message, bool queue)> submit;

  QLineEdit* To() const { return to_; }
  QLineEdit* At() const { return at_; }
  QComboBox* Kind() const { return kind_; }
  QLineEdit* Subject() const { return subject_; }
  QPlainTextEdit* Body() const { return body_; }
  QLabel* Status() const { return status_; }
  QPushButton* QueueButton() const { return queue_; }
  QPushButton* DraftButton() const { return draft_; }

  // The longest line's width in terminal columns and its 1-based number.
  static std::pair<int, int> LongestLine(const QString& text);

 private:
  void Submit(bool queue);
  void ShowPlace();

  mailbox::SOutgoing message_;
  QLineEdit* to_;
  QLineEdit* at_;
  QComboBox* kind_;
  QLineEdit* subject_;
  QPlainTextEdit* body_;
  QLabel* place_;
  QLabel* status_;
  QPushButton* draft_;
  QPushButton* queue_;
};

}  // namespace nami
