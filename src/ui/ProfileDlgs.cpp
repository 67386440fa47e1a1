#include "ui/ProfileDlgs.h"

#include "text/Messages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "terminal/NamiDoc.h"
#include "ui/DialogHooks.h"
#include "ui/DialogWidgets.h"
#include "ui/EditorLaunch.h"

namespace nami {

namespace {

QLabel* PlainLabel(const QString& text, QWidget* parent) {
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  return label;
}

// A label whose access key ("&X" in `text`) moves the focus to `field`.
QLabel* KeyLabel(const QString& text, QWidget* field, QWidget* parent) {
  QLabel* label = PlainLabel(text, parent);
  label->setBuddy(field);
  return label;
}

}  // namespace

// ---- CStationDlg ----

CStationDlg::CStationDlg(QWidget* parent, CSettings& settings) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("相手局の設定"));
  const StationValues values = LoadStationValues(settings_);
  for (std::size_t i = 0; i < edits_.size(); ++i) edits_[i] = MakeEdit(this, values[i], kStationLimit);

  auto* grid = new QGridLayout;
  const QString labels[5] = {
      QStringLiteral("相手局のｺｰﾙｻｲﾝ(SSID,VIA付)(&C)"),
      QStringLiteral("何分おきにｺﾈｸﾄするかの設定(&M)\n(空欄に設定すれば停止)"),
      QStringLiteral("BBSのｺﾏﾝﾄﾞﾌﾟﾛﾝﾌﾟﾄ(例 \"W,X,Y,Z >\")(&P)"),
      QStringLiteral("ｺﾈｸﾄ時すぐに送信する文字(ｼﾘｱﾙ接続で要)(&S)"),
      QStringLiteral("読み出しｺﾏﾝﾄﾞ(R等)(&R)"),
  };
  for (int i = 0; i < 5; ++i) {
    grid->addWidget(KeyLabel(labels[i], edits_[static_cast<std::size_t>(i)], this), i, 0);
    grid->addWidget(edits_[static_cast<std::size_t>(i)], i, 1);
  }
  auto* pairs = new QGridLayout;
  pairs->addWidget(KeyLabel(QStringLiteral("イベント文字列(&E)"), edits_[5], this), 0, 0);
  pairs->addWidget(PlainLabel(QStringLiteral("レスポンス(cr付きで送信)"), this), 0, 1);
  for (int row = 0; row < 3; ++row) {
    pairs->addWidget(edits_[static_cast<std::size_t>(5 + row)], row + 1, 0);
    pairs->addWidget(edits_[static_cast<std::size_t>(8 + row)], row + 1, 1);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addLayout(pairs);
  layout->addWidget(MakeOkCancel(this));
  resize(fontMetrics().averageCharWidth() * 70, sizeHint().height());
}

void CStationDlg::accept() {
  StationValues values;
  for (std::size_t i = 0; i < edits_.size(); ++i) values[i] = ToCp932(edits_[i]->text());
  SaveStationValues(settings_, values);
  QDialog::accept();
}

// ---- CAutoModeDlg ----

CAutoModeDlg::CAutoModeDlg(QWidget* parent, CNamiDoc& doc, CRunState& run) : QDialog(parent), doc_(doc), run_(run) {
  setWindowTitle(QStringLiteral("ｵｰﾄﾓｰﾄﾞの設定"));
  list_ = new QCheckBox(QStringLiteral("&LIST"), this);
  read_ = new QCheckBox(QStringLiteral("&READ"), this);
  send_ = new QCheckBox(QStringLiteral("&SEND"), this);
  list_->setChecked(run_.Steps().list);
  read_->setChecked(run_.Steps().read);
  send_->setChecked(run_.Steps().send);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PlainLabel(QStringLiteral("必要なﾎﾞﾀﾝのみﾏｰｸ"), this));
  layout->addWidget(list_);
  layout->addWidget(read_);
  layout->addWidget(send_);
  watchdog_ = new QSpinBox(this);
  watchdog_->setRange(0, 86400);
  watchdog_->setSuffix(QStringLiteral(" 秒"));
  watchdog_->setSpecialValueText(QStringLiteral("なし (off)"));
  watchdog_->setValue(std::max(doc_.Settings().GetInt(keys::Watchdog), 0));
  watchdog_->setToolTip(
      QStringLiteral("この秒数だけ何も受信しないと、自動モードは「応答なし」でﾛｸﾞｵﾌして終わります (0 = なし)"));
  auto* row = new QHBoxLayout;
  row->addWidget(KeyLabel(QStringLiteral("無応答で中止(&W)"), watchdog_, this));
  row->addWidget(watchdog_);
  layout->addLayout(row);
  layout->addWidget(MakeOkCancel(this));
}

void CAutoModeDlg::accept() {
  run_.SelectSteps(StepChoice{list_->isChecked(), read_->isChecked(), send_->isChecked()});
  if (watchdog_->value() != std::max(doc_.Settings().GetInt(keys::Watchdog), 0))
    doc_.Settings().SetInt(keys::Watchdog, watchdog_->value());
  QDialog::accept();
}

// ---- CFieldDlg ----

CFieldDlg::CFieldDlg(QWidget* parent, CSettings& settings) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("ﾌｨｰﾙﾄﾞの設定"));
  const FieldValues values = LoadFieldValues(settings_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PlainLabel(QStringLiteral("読み出したいﾌｨｰﾙﾄﾞ名をLｺﾏﾝﾄﾞで入力"), this));
  layout->addWidget(PlainLabel(QStringLiteral("(ﾘｽﾄ行数限定ﾓｰﾄﾞはｶﾃｺﾞﾘｰ名のみ)"), this));
  for (std::size_t i = 0; i < fields_.size(); ++i) {
    fields_[i] = MakeEditableList(this, FieldEntries());
    SetExactListValue(fields_[i], FieldEntries(), values.fields[i]);
    layout->addWidget(fields_[i]);
  }
  auto* grid = new QGridLayout;
  limitLength_ = MakeEdit(this, values.limitLength, kLimitLengthLimit);
  grid->addWidget(KeyLabel(QStringLiteral("ﾘｽﾄ行数(&N)"), limitLength_, this), 0, 0);
  grid->addWidget(limitLength_, 0, 1);
  limitMode_ = new QCheckBox(QStringLiteral("ﾘｽﾄ行数限定ﾓｰﾄﾞ(&M)"), this);
  limitMode_->setChecked(values.limitMode);
  grid->addWidget(limitMode_, 1, 0, 1, 2);
  limitModel_ = MakeEditableList(this, LimitModelEntries());
  SetExactListValue(limitModel_, LimitModelEntries(), values.limitModel);
  grid->addWidget(limitModel_, 2, 0, 1, 2);
  layout->addLayout(grid);
  layout->addWidget(MakeOkCancel(this));
}

void CFieldDlg::accept() {
  FieldValues values;
  for (std::size_t i = 0; i < fields_.size(); ++i) values.fields[i] = ListValue(fields_[i]);
  values.limitLength = ToCp932(limitLength_->text());
  values.limitMode = limitMode_->isChecked();
  values.limitModel = ListValue(limitModel_);
  if (auto fault = CheckFieldValues(values)) {
    QWidget* field = fault->field < 5 ? static_cast<QWidget*>(fields_[static_cast<std::size_t>(fault->field)])
                                      : static_cast<QWidget*>(limitModel_);
    RefuseTooLong(this, field, fault->limit);
    return;
  }
  SaveFieldValues(settings_, values);
  QDialog::accept();
}

// ---- CLastMailNoDlg ----

CLastMailNoDlg::CLastMailNoDlg(QWidget* parent, CSettings& settings) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰ"));
  edit_ = MakeEdit(this, LoadLastMailNo(settings_), kLastMailNoLimit);
  auto* grid = new QGridLayout;
  grid->addWidget(KeyLabel(QStringLiteral("ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰ(&N)"), edit_, this), 0, 0);
  grid->addWidget(edit_, 0, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(PlainLabel(QStringLiteral("\"00010\"又は\"   10\"の選択は"), this));
  layout->addWidget(PlainLabel(QStringLiteral("BBSに合わせて下さい"), this));
  layout->addWidget(MakeOkCancel(this));
}

void CLastMailNoDlg::accept() {
  SaveLastMailNo(settings_, ToCp932(edit_->text()));
  QDialog::accept();
}

// ---- CSendMailDlg ----

CSendMailDlg::CSendMailDlg(QWidget* parent, CSettings& settings) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("送信ﾒｰﾙ選択"));
  const SendMailValues values = LoadSendMailValues(settings_);
  auto* grid = new QGridLayout;
  for (int row = 1; row <= 5; ++row) {
    auto i = static_cast<std::size_t>(row - 1);
    edits_[i] = MakePathEdit(this, values[i], row <= 4 ? kSendMailLimit : 0);
    browse_[i] = new QPushButton(QStringLiteral("参照"), this);
    browse_[i]->setAutoDefault(false);
    connect(browse_[i], &QPushButton::clicked, this, [this, row] { Browse(row); });
    grid->addWidget(PlainLabel(QString::number(row), this), row - 1, 0);
    grid->addWidget(edits_[i], row - 1, 1);
    grid->addWidget(browse_[i], row - 1, 2);
  }
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(PlainLabel(QStringLiteral("送信ﾒｰﾙのﾌｧｲﾙ名を入力してください"), this));
  layout->addLayout(grid);
  layout->addWidget(MakeOkCancel(this));
  resize(fontMetrics().averageCharWidth() * 70, sizeHint().height());
}

QString CSendMailDlg::BrowseFilter() {
  // File names on Linux are case-sensitive: offer both spellings of each
  // extension ("%y%m%d.UPL" is upper case), and "*" for all files.
  return QString::fromStdString(msg::SendMailFilter);
}

void CSendMailDlg::Browse(int row) {
  if (row < 1 || row > 5) return;
  QString path = Hooks().openFile(this, QString::fromStdString(SendMailBrowseTitle(row)), BrowseFilter());
  if (!path.isEmpty()) edits_[static_cast<std::size_t>(row - 1)]->setText(path);
}

void CSendMailDlg::accept() {
  SendMailValues values;
  for (std::size_t i = 0; i < edits_.size(); ++i) {
    std::optional<std::string> path = PathFieldValue(this, edits_[i]);
    if (!path) return;
    values[i] = std::move(*path);
  }
  SaveSendMailValues(settings_, values);
  QDialog::accept();
}

// ---- CFileNameDlg ----

CFileNameDlg::CFileNameDlg(QWidget* parent, CSettings& settings) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("ﾌｧｲﾙ名の設定"));
  const FileNameValues values = LoadFileNameValues(settings_);
  mail_ = MakePathEdit(this, values.mailFile, kFileNameLimit);
  list_ = MakePathEdit(this, values.listFile, kFileNameLimit);
  auto* grid = new QGridLayout;
  grid->addWidget(KeyLabel(QStringLiteral("ﾒｰﾙﾛｸﾞ格納ﾌｧｲﾙ名(&M)"), mail_, this), 0, 0);
  grid->addWidget(mail_, 0, 1);
  grid->addWidget(KeyLabel(QStringLiteral("ﾘｽﾄﾛｸﾞ格納ﾌｧｲﾙ名(&L)"), list_, this), 1, 0);
  grid->addWidget(list_, 1, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(MakeOkCancel(this));
}

void CFileNameDlg::accept() {
  std::optional<std::string> mail = PathFieldValue(this, mail_);
  if (!mail) return;
  std::optional<std::string> list = PathFieldValue(this, list_);
  if (!list) return;
  SaveFileNameValues(settings_, {*mail, *list});
  QDialog::accept();
}

// ---- CEditorDlg ----

CEditorDlg::CEditorDlg(QWidget* parent, CSettings& settings) : QDialog(parent), settings_(settings) {
  setWindowTitle(QStringLiteral("エディターの設定"));
  edit_ = MakePathEdit(this, LoadEditorSetting(settings_), kEditorLimit);
  // An empty setting starts the editor chosen automatically; say which.
  EditorCommand automatic = BuildEditorCommand(QString(), QString(), Hooks());
  edit_->setPlaceholderText(QStringLiteral("空欄: %1").arg(automatic.program));
  auto* grid = new QGridLayout;
  grid->addWidget(KeyLabel(QStringLiteral("エディターファイル名(&E)"), edit_, this), 0, 0);
  grid->addWidget(edit_, 0, 1);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(grid);
  layout->addWidget(MakeOkCancel(this));
  resize(fontMetrics().averageCharWidth() * 60, sizeHint().height());
}

void CEditorDlg::accept() {
  std::optional<std::string> editor = PathFieldValue(this, edit_);
  if (!editor) return;
  SaveEditorSetting(settings_, *editor);
  QDialog::accept();
}

}  // namespace nami
