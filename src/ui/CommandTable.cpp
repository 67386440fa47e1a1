#include "ui/CommandTable.h"

#include <QKeySequence>
#include <QRegularExpression>

#include "ui/CommandRouter.h"
#include "ui/Dialogs.h"
#include "ui/MailboxCommand.h"
#include "ui/ToolIcons.h"

namespace nami {
namespace {

using R = CCommandRouter;

// When a command can run.
bool HasHistory(const R& r) { return r.History() != nullptr; }
bool HasFrame(const R& r) { return r.Frame() != nullptr; }
bool HistoryActive(const R& r) { return HasHistory(r) && r.HistoryActive(); }
using Transfer = CStation::Transfer;
template <Transfer T>
bool Running(const R& r) {
  return r.Station().Transferring(T);
}
template <Transfer T>
bool NotRunning(const R& r) {
  return !r.Station().Transferring(T);
}
template <Transfer T>
void Stop(R& r) {
  r.Station().StopTransfer(T);
}
// An autopilot step starts only while no run is busy.
template <AutoCommand C>
bool AutoReady(const R& r) {
  return r.Station().CanRun(C);
}
bool Never(const R&) { return false; }

template <AutoCommand C>
void RunAuto(R& r) {
  r.Station().Run(C);
}
// A dialog or an editor on the settings, parented to the window.
template <auto Dialog>
void OnSettings(R& r) {
  Dialog(r.Window(), r.Settings());
}

template <const KeySpec& Key>
bool SwitchOn(const R& r) {
  return r.Settings().Get(Key) != "0";
}
template <const KeySpec& Key>
void Flip(R& r) {
  r.Settings().Set(Key, SwitchOn<Key>(r) ? "0" : "1");
}

constexpr int Key(QKeyCombination key) { return key.toCombined(); }

const std::vector<CommandRow> kRows = {
    // File.
    {.id = Command::FileNew,
     .label = "新規作成(&Nｼ)",
     .prompt = "新規にﾌｧｲﾙを作成",
     .tip = "新規作成",
     .run = [](R& r) { r.NewDocument(); }},
    {.id = Command::FileOpen,
     .label = "開く(&Oﾋ)...",
     .prompt = "既存のﾌｧｲﾙを開く",
     .tip = "開く",
     .run = [](R& r) { r.Open(); }},
    {.id = Command::FileSave,
     .label = "上書き保存(&Sｳ)",
     .prompt = "開いているﾌｧｲﾙを上書きして保存",
     .tip = "上書き保存",
     .run = [](R& r) { r.Save(); }},
    {.id = Command::FileSaveAs,
     .label = "名前を付けて保存(&Aﾅ)...",
     .prompt = "開いているﾌｧｲﾙに名前を付けて保存",
     .run = [](R& r) { r.SaveAs(); }},
    // Stands where the recent files go while there are none; each recent
    // file's own item opens it.
    {.id = Command::OpenRecent, .label = "以前開いたファイル", .prompt = "このﾌｧｲﾙを開く", .enabled = Never},
    {.id = Command::AppExit,
     .label = "終了(&Xﾘ)",
     .prompt = "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示",
     .tip = "終了",
     .enabled = HasFrame,
     .run = [](R& r) { r.Frame()->Exit(); }},

    // Edit. Undo and cut have their keys but no handler in this program.
    {.id = Command::EditUndo,
     .label = "元に戻す",
     .prompt = "直前に行った動作を元に戻す",
     .key = Key(Qt::ALT | Qt::Key_Backspace)},
    {.id = Command::EditCut,
     .label = "切り取り",
     .prompt = "選択範囲を切り取ってｸﾘｯﾌﾟﾎﾞｰﾄﾞに移動",
     .key = Key(Qt::SHIFT | Qt::Key_Delete)},
    {.id = Command::EditCopy,
     .label = "コピー(&Cｺ)",
     .prompt = "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存",
     .tip = "ｺﾋﾟ-",
     .key = Key(Qt::CTRL | Qt::Key_Insert),
     .run = [](R& r) { r.CopyMarked(); }},
    {.id = Command::EditPaste,
     .label = "ペースト送信(&Pﾊ)",
     .prompt = "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を貼り付け",
     .tip = "貼り付け",
     .key = Key(Qt::SHIFT | Qt::Key_Insert),
     .enabled = NotRunning<Transfer::Paste>,
     .run = [](R& r) { r.PasteSend(); }},
    {.id = Command::PasteStop,
     .label = "ﾍﾟｰｽﾄ送信中止(&Aｽ)",
     .prompt = "ペースト送信を中止します",
     .enabled = Running<Transfer::Paste>,
     .run = Stop<Transfer::Paste>},
    {.id = Command::CopyToFile,
     .label = "ﾌｧｲﾙにｺﾋﾟｰ(&Fﾌ)",
     .prompt = "ファイルにコピーします",
     .run = [](R& r) { r.CopyToFile(); }},
    // The history pane's own command.
    {.id = Command::EditAndSend,
     .label = "編集して送信(&Lﾍ)",
     .prompt = "選択した行を編集し送信する",
     .enabled = HistoryActive,
     .run = [](R& r) { r.History()->EditAndSend(); }},
    // Searching the history works from either pane.
    {.id = Command::SearchCondition,
     .label = "検索条件(&Fｾ)",
     .prompt = "検索条件を設定します",
     .key = Key(Qt::CTRL | Qt::Key_F),
     .enabled = HasHistory,
     .run = [](R& r) { r.History()->Search(); }},
    {.id = Command::SearchUp,
     .label = "上検索(&Uｳ)",
     .key = Key(Qt::SHIFT | Qt::Key_F3),
     .enabled = HasHistory,
     .run = [](R& r) { r.History()->SearchPrev(); }},
    {.id = Command::SearchDown,
     .label = "下検索(&Dｼ)",
     .key = Key(Qt::Key_F3),
     .enabled = HasHistory,
     .run = [](R& r) { r.History()->SearchNext(); }},

    // Upload and download: the same from either pane, on the one document.
    {.id = Command::Upload,
     .label = "アップロード(&Uｱ)",
     .prompt = "ディスクからのファイルのアップロード",
     .tip = "ｱｯﾌﾟﾛｰﾄﾞ",
     .icon = icon::Upload,
     .enabled = NotRunning<Transfer::Upload>,
     .run = [](R& r) { r.Upload(); }},
    {.id = Command::UploadStop,
     .label = "アップロード中止(&Bﾁ)",
     .enabled = Running<Transfer::Upload>,
     .run = Stop<Transfer::Upload>},
    {.id = Command::Download,
     .label = "ダウンロード(&Dﾀ)",
     .prompt = "ディスクへのファイルのダウンロード",
     .tip = "ﾀﾞｳﾝﾛｰﾄﾞ",
     .icon = icon::Download,
     .enabled = NotRunning<Transfer::Capture>,
     .run = [](R& r) { r.Download(); }},
    {.id = Command::RetroDownload,
     .label = "さかのぼってﾀﾞｳﾝ(&Rｻ)",
     .prompt = "ﾗｲﾝｶｰｿﾙまでさかのぼってダウンロードします",
     .tip = "さかのぼりﾀﾞｳﾝ",
     .icon = icon::RetroDownload,
     .enabled = NotRunning<Transfer::Capture>,
     .run = [](R& r) { r.RetroDownload(); }},
    {.id = Command::DownloadEnd,
     .label = "ダウンロード終了(&Sｽ)",
     .prompt = "ダウンロードを終了します",
     .enabled = Running<Transfer::Capture>,
     .run = Stop<Transfer::Capture>},

    // Editor.
    {.id = Command::MailCreate,
     .label = "ﾒｰﾙ作成(&Sｶ)",
     .prompt = "メールの作成のためエディター起動",
     .tip = "ﾒｰﾙ作成",
     .icon = icon::MailCreate,
     .run = OnSettings<EditNewMail>},
    {.id = Command::MailView,
     .label = "ﾒｰﾙ読み出し(&Rﾖ)",
     .prompt = "自動ﾓｰﾄﾞで読みだしたﾛｸﾞﾌｧｲﾙをｴﾃﾞｨﾀｰで閲覧します",
     .tip = "ﾒｰﾙ表示",
     .icon = icon::MailView,
     .run = OnSettings<ViewMailLog>},
    {.id = Command::ListView,
     .label = "ﾘｽﾄ読み出し(&Lﾘ)",
     .prompt = "自動ﾓｰﾄﾞで読みだしたﾘｽﾄの編集",
     .tip = "ﾘｽﾄ表示",
     .icon = icon::ListView,
     .run = OnSettings<ViewListLog>},
    {.id = Command::Mailbox,
     .label = "メールボックス(&Mﾒ)",
     .prompt = "読み出したﾒｰﾙの閲覧・検索・返信・送信予約",
     .tip = "ﾒｰﾙﾎﾞｯｸｽ",
     .icon = icon::Mailbox,
     .run = OpenMailbox},

    // Autopilot.
    {.id = Command::AutoModeSettings,
     .label = "自動ﾓｰﾄﾞの設定(&Vｾ)",
     .prompt = "自動ﾓｰﾄﾞのＬＲＳの有無の設定",
     .tip = "自動ﾓｰﾄﾞ設定",
     .icon = icon::AutoModeSettings,
     .run = [](R& r) { RunAutoModeDialog(r.Window(), r.Station().Doc(), r.Station().Autopilot().State()); }},
    {.id = Command::AutoModeStart,
     .label = "自動ﾓｰﾄﾞ起動(&Aｵ)",
     .prompt = "自動運転をスタート",
     .tip = "自動ﾓｰﾄﾞ開始",
     .key = Key(Qt::Key_F5),
     .icon = icon::AutoModeStart,
     .enabled = AutoReady<AutoCommand::AutoMode>,
     .run = RunAuto<AutoCommand::AutoMode>},
    {.id = Command::Connect,
     .label = "相手局にｺﾈｸﾄ(&Cｺ)",
     .prompt = "相手局に自動ｺﾈｸﾄ",
     .tip = "自動ｺﾈｸﾄ",
     .icon = icon::Connect,
     .enabled = AutoReady<AutoCommand::Connect>,
     .run = RunAuto<AutoCommand::Connect>},
    {.id = Command::MailSend,
     .label = "ﾒｰﾙ自動送信(&Sｿ)",
     .prompt = "ﾒｰﾙの複数自動送信",
     .tip = "ﾒｰﾙ自動送信",
     .icon = icon::MailSend,
     .enabled = AutoReady<AutoCommand::Send>,
     .run = RunAuto<AutoCommand::Send>},
    {.id = Command::ListRead,
     .label = "ﾘｽﾄ読みだし(&Lﾘ)",
     .prompt = "ﾌﾞﾚﾃﾝﾘｽﾄの自動読み出し",
     .tip = "ﾘｽﾄ自動読出",
     .icon = icon::ListRead,
     .enabled = AutoReady<AutoCommand::List>,
     .run = RunAuto<AutoCommand::List>},
    {.id = Command::MailRead,
     .label = "ﾒｰﾙ自動読出(&Rﾖ)",
     .prompt = "ﾒｰﾙの複数自動読み出し",
     .tip = "ﾒｰﾙ自動読出",
     .icon = icon::MailRead,
     .enabled = AutoReady<AutoCommand::Read>,
     .run = RunAuto<AutoCommand::Read>},
    // The end command stops a busy run too.
    {.id = Command::AutoModeEnd,
     .label = "自動ﾓｰﾄﾞ終了(&Bｼ)",
     .prompt = "自動ﾓｰﾄﾞの終了／中止",
     .tip = "自動ﾓｰﾄﾞ終了",
     .key = Key(Qt::SHIFT | Qt::Key_F5),
     .icon = icon::AutoModeEnd,
     .enabled = AutoReady<AutoCommand::End>,
     .run = RunAuto<AutoCommand::End>},

    // Settings.
    {.id = Command::StationSettings,
     .label = "相手局の設定(&Cｺ)",
     .prompt = "自動ｺﾈｸﾄの相手局／条件の設定",
     .run = OnSettings<RunStationDialog>},
    {.id = Command::SendMailSelect,
     .label = "送信ﾒｰﾙ選択(&Sｿ)",
     .prompt = "自動送信ﾒｰﾙの設定",
     .tip = "自動送信設定",
     .icon = icon::SendMailSelect,
     .run = OnSettings<RunSendMailDialog>},
    {.id = Command::FieldSettings,
     .label = "ﾌｨｰﾙﾄﾞ設定(&Lﾘ)",
     .prompt = "読み出しﾌｨｰﾙﾄﾞの設定",
     .run = OnSettings<RunFieldDialog>},
    {.id = Command::LastMailNo,
     .label = "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰ(&Rﾖ)",
     .prompt = "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰの設定",
     .run = OnSettings<RunLastMailNoDialog>},
    {.id = Command::EditIni,
     .label = "INIﾌｧｲﾙの編集(&Iｲ)",
     .prompt = "NAMI.INIﾌｱｲﾙをｴﾃﾞｨﾀｰで編集",
     .run = OnSettings<EditSettingsFile>},
    {.id = Command::ComPortSettings,
     .label = "通信ﾎﾟｰﾄ設定(&Pﾂ)",
     .prompt = "COMﾎﾟｰﾄの設定",
     .run = [](R& r) { r.PortSettings(); }},
    {.id = Command::EditorSettings,
     .label = "ｴﾃﾞｨﾀｰの設定(&Eｴ)",
     .prompt = "ｴﾃﾞｨﾀｰの設定",
     .run = OnSettings<RunEditorDialog>},
    {.id = Command::FileNameSettings,
     .label = "ﾃﾝﾎﾟﾗﾘｰﾌｧｲﾙ設定(&Fﾌ)",
     .prompt = "自動運転時使われるﾌｧｲﾙ名の設定",
     .run = OnSettings<RunFileNameDialog>},
    {.id = Command::ViewToolbar,
     .label = "ツールバー(&Tﾊ)",
     .prompt = "ﾂｰﾙﾊﾞｰの表示/非表示",
     .tip = "ﾂｰﾙﾊﾞｰの表示/非表示",
     .enabled = HasFrame,
     .run = [](R& r) { r.Frame()->ToggleToolBar(); },
     .checked = [](const R& r) { return HasFrame(r) && r.Frame()->ToolBarShown(); }},
    {.id = Command::ViewStatusBar,
     .label = "ステータス バー(&Sｽ)",
     .prompt = "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示",
     .tip = "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示",
     .enabled = HasFrame,
     .run = [](R& r) { r.Frame()->ToggleStatusBar(); },
     .checked = [](const R& r) { return HasFrame(r) && r.Frame()->StatusBarShown(); }},
    {.id = Command::ActivityPane,
     .label = "運用ログ(&Oｳ)",
     .prompt = "自動運用の経過を表示/非表示",
     .enabled = HasFrame,
     .run = [](R& r) { r.Frame()->ToggleActivityPane(); },
     .checked = [](const R& r) { return HasFrame(r) && r.Frame()->ActivityPaneShown(); }},
    {.id = Command::FontSelect,
     .label = "ﾌｫﾝﾄの選択(&Jﾁ)",
     .prompt = "表示ﾌｫﾝﾄの選択",
     .enabled = HasFrame,
     .run = [](R& r) { r.Frame()->ChooseFont(); }},
    {.id = Command::NotifyOwnMail,
     .label = "自局宛ﾒｰﾙを通知(&Mﾂ)",
     .run = Flip<keys::NotifyOwnMail>,
     .checked = SwitchOn<keys::NotifyOwnMail>},
    {.id = Command::NotifyFailedRun,
     .label = "定時運用の失敗を通知(&Nﾃ)",
     .run = Flip<keys::NotifyFailedRun>,
     .checked = SwitchOn<keys::NotifyFailedRun>},

    // Help.
    {.id = Command::UserManual,
     .label = "ﾕｰｻﾞｰﾏﾆｭｱﾙ(&Uﾕ)",
     .prompt = "ﾕｰｻﾞｰﾏﾆｭｱﾙの表示",
     .tip = "ﾍﾙﾌﾟの表示",
     .icon = icon::UserManual,
     .run = [](R& r) { OpenUserManual(r.Window()); }},
    {.id = Command::AppAbout,
     .label = "バージョン情報(&Aﾊ)...",
     .prompt = "ﾌﾟﾛｸﾞﾗﾑ情報、ﾊﾞｰｼﾞｮﾝ、著作権を表示",
     .tip = "ﾊﾞｰｼﾞｮﾝ情報",
     .enabled = HasFrame,
     .run = [](R& r) { r.Frame()->ShowAbout(); }},

    // Panes: with two, next and previous both go to the other one.
    {.id = Command::NextPane,
     .label = "次のﾍﾟｲﾝ",
     .prompt = "次のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え",
     .key = Key(Qt::Key_F6),
     .enabled = HasFrame,
     .run = [](R& r) { r.Frame()->SwitchPane(true); }},
    {.id = Command::PrevPane,
     .label = "前のﾍﾟｲﾝ",
     .prompt = "前のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え",
     .key = Key(Qt::SHIFT | Qt::Key_F6),
     .enabled = HasFrame,
     .run = [](R& r) { r.Frame()->SwitchPane(false); }},
};

}  // namespace

const std::vector<CommandRow>& CommandRows() { return kRows; }

const CommandRow* FindCommand(int id) {
  for (const CommandRow& row : kRows)
    if (static_cast<int>(row.id) == id) return &row;
  return nullptr;
}

const CommandRow& RowOf(Command id) {
  // Every command has its row (the table test walks them all).
  return *FindCommand(static_cast<int>(id));
}

const std::vector<MenuLayout>& MainMenu() {
  using C = Command;
  static const std::vector<MenuLayout> menus = {
      {"相手局情報(&Fﾌ)",
       {C::FileNew, C::FileOpen, C::FileSave, C::FileSaveAs, kSeparator, C::OpenRecent, kSeparator, C::AppExit}},
      {"編集(&Eｼ)",
       {C::EditCopy, C::EditPaste, C::PasteStop, C::CopyToFile, C::EditAndSend, C::SearchCondition,
        C::SearchUp, C::SearchDown}},
      {"ｱｯﾌﾟ/ﾀﾞｳﾝﾛｰﾄﾞ(&Tﾃ)", {C::Upload, C::UploadStop, C::Download, C::RetroDownload, C::DownloadEnd}},
      {"ｴﾃﾞｨﾀｰ(&Rｴ)", {C::MailCreate, C::MailView, C::ListView, C::Mailbox}},
      {"ｺﾏﾝﾄﾞ(&Cｺ)",
       {C::AutoModeSettings, C::AutoModeStart, C::Connect, C::MailSend, C::ListRead, C::MailRead, C::AutoModeEnd}},
      {"設定(&Vﾋ)",
       {C::StationSettings, C::SendMailSelect, C::FieldSettings, C::LastMailNo, C::EditIni, kSeparator,
        C::ComPortSettings, C::EditorSettings, C::FileNameSettings, C::ViewToolbar, C::ViewStatusBar, C::ActivityPane,
        C::FontSelect, kSeparator, C::NotifyOwnMail, C::NotifyFailedRun}},
      {"ﾍﾙﾌﾟ(&Hﾍ)", {C::UserManual, C::AppAbout}},
  };
  return menus;
}

const std::vector<CommandPlace>& ToolbarButtons() {
  using C = Command;
  static const std::vector<CommandPlace> buttons = {
      C::Upload,   C::Download,    C::RetroDownload,  kSeparator,       C::Connect,          C::ListRead, C::MailRead,
      C::MailSend, C::AutoModeEnd, kSeparator,        C::AutoModeStart, C::AutoModeSettings, kSeparator,  C::ListView,
      C::MailView, C::MailCreate,  C::SendMailSelect, C::Mailbox,       kSeparator,          C::UserManual};
  return buttons;
}

const std::vector<Command>& HistoryContextMenu() {
  static const std::vector<Command> items = {Command::EditCopy, Command::EditAndSend, Command::SearchCondition,
                                             Command::SearchUp, Command::SearchDown};
  return items;
}

QString ContextLabel(const CommandRow& row) {
  static const QRegularExpression accessKana(QStringLiteral("\\((&[A-Z])[^)]+\\)"));
  return QString::fromUtf8(row.label).replace(accessKana, QStringLiteral("(\\1)"));
}

}  // namespace nami
