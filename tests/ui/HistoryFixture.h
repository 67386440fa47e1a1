// A history pane over a document with a fake port, shown offscreen.
#pragma once

#include <QStringList>

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <memory>

#include "support/FakePort.h"
#include "support/TestSupport.h"
#include "ui/NamiView2.h"

namespace nami::test {

inline void EnsureApp() {
  if (QApplication::instance()) return;
  static int argc = 1;
  static char name[] = "test_ui";
  static char* argv[] = {name, nullptr};
  new QApplication(argc, argv);  // lives for the whole test program
}

class HistoryFixture : public ::testing::Test {
 protected:
  HistoryFixture() : settings_((EnsureApp(), dir_.File("NAMI.INI"))), doc_(settings_, sink_) {
    auto port = std::make_unique<FakePort>();
    port_ = port.get();
    doc_.SetPort(std::move(port));
    port_->Open("COM1");
    settings_.Set(keys::ReadCom, "R");
    view_ = std::make_unique<CNamiView2>(doc_);
    view_->showMessage = [this](const QString& text) { messages_ << text; };
  }

  void Fill(int count) {
    for (int i = 0; i < count; ++i) doc_.Lines().AddLine("line " + std::to_string(i));
  }
  // Shows the pane with `rows` full rows (plus half of one more) and paints it.
  void Show(int rows) {
    view_->show();
    const int lh = view_->LineHeight();
    const int chrome = view_->height() - view_->viewport()->height();
    view_->resize(320, rows * lh + lh / 2 + chrome);
    Paint();
    ASSERT_EQ(view_->Model().Rows(), rows);
  }
  QImage Paint() { return view_->viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32); }
  int RowY(int row) const { return (row - 1) * view_->LineHeight() + view_->LineHeight() / 2; }
  void Mouse(QEvent::Type type, Qt::MouseButton button, Qt::MouseButtons buttons, int y) {
    const QPointF pos(40, y);
    QMouseEvent event(type, pos, view_->viewport()->mapToGlobal(pos), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(view_->viewport(), &event);
  }

  TempDir dir_;
  CSettings settings_;
  RecordingSink sink_;
  CNamiDoc doc_;
  FakePort* port_ = nullptr;
  std::unique_ptr<CNamiView2> view_;
  QStringList messages_;  // what the pane told the user
};

}  // namespace nami::test
