// The status bar's link light and the "運用ログ" activity pane. Both only
// draw what the core decided: the link state from CLinkState, the entries
// from CActivity.
#pragma once

#include <QColor>
#include <QDockWidget>
#include <QPlainTextEdit>
#include <QWidget>

#include "activity/Activity.h"

namespace nami {

class CLinkLight : public QWidget {
  Q_OBJECT

 public:
  enum class Light { Off, Busy, On, Fault };  // grey, amber, green, red

  explicit CLinkLight(QWidget* parent = nullptr);
  void SetState(Light light, const QString& text);
  Light State() const { return light_; }
  QString Text() const { return text_; }
  static QColor ColorOf(Light light);
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  Light light_ = Light::Off;
  QString text_;
};

// A status-bar text that keeps its place: cut to the room it has with "…",
// the whole text in its tool tip; hidden while it is empty.
class CElidedLabel : public QWidget {
  Q_OBJECT

 public:
  // `columns`: the narrowest it gets, in average characters.
  explicit CElidedLabel(int columns, QWidget* parent = nullptr);
  void SetText(const QString& text);
  QString Text() const { return text_; }
  // What is drawn at the present width.
  QString ShownText() const;
  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString text_;
  int columns_;
};

class CActivityPane : public QDockWidget {
  Q_OBJECT

 public:
  static constexpr int kMaxEntries = 5000;
  explicit CActivityPane(QWidget* parent = nullptr);
  void Append(const ActivityEntry& entry);
  QPlainTextEdit* View() const { return view_; }
  // The colour sent text is shown in.
  static QColor SentColor();

 private:
  QPlainTextEdit* view_;
  bool afterOutcome_ = false;  // the last entry ended a run
};

}  // namespace nami
