#include "ui/CommandTable.h"

#include "ui/CommandIds.h"

namespace nami {
namespace {

const CommandInfo kCommands[] = {
    {cmd::FileNew, "新規作成(&N)", "新規にﾌｧｲﾙを作成", "新規作成"},
    {cmd::FileOpen, "開く(&O)...", "既存のﾌｧｲﾙを開く", "開く"},
    {cmd::FileSave, "上書き保存(&S)", "開いているﾌｧｲﾙを上書きして保存", "上書き保存"},
    {cmd::FileSaveAs, "名前を付けて保存(&A)...", "開いているﾌｧｲﾙに名前を付けて保存", ""},
    {cmd::AppExit, "終了(&X)", "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示", "終了"},
    {cmd::EditCopy, "コピー(&C)", "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存", "ｺﾋﾟ-"},
    {cmd::EditPaste, "ペースト送信(&P)", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を貼り付け", "貼り付け"},
    {cmd::PasteStop, "ﾍﾟｰｽﾄ送信中止(&A)", "ペースト送信を中止します", ""},
    {cmd::CopyToFile, "ﾌｧｲﾙにｺﾋﾟｰ(&F)", "ファイルにコピーします", ""},
    {cmd::EditAndSend, "編集して送信(&L)", "選択した行を編集し送信する", ""},
    {cmd::SearchCondition, "検索条件(&F)", "検索条件を設定します", ""},
    {cmd::SearchUp, "上検索(&U)", "", ""},
    {cmd::SearchDown, "下検索(&D)", "", ""},
    {cmd::Upload, "アップロード(&U)", "ディスクからのファイルのアップロード", "ｱｯﾌﾟﾛｰﾄﾞ"},
    {cmd::UploadStop, "アップロード中止(&B)", "", ""},
    {cmd::Download, "ダウンロード(&D)", "ディスクへのファイルのダウンロード", "ﾀﾞｳﾝﾛｰﾄﾞ"},
    {cmd::RetroDownload, "さかのぼってﾀﾞｳﾝ(&R)", "ﾗｲﾝｶｰｿﾙまでさかのぼってダウンロードします", "さかのぼりﾀﾞｳﾝ"},
    {cmd::DownloadEnd, "ダウンロード終了(&S)", "ダウンロードを終了します", ""},
    {cmd::MailCreate, "ﾒｰﾙ作成(&S)", "メールの作成のためエディター起動", "ﾒｰﾙ作成"},
    {cmd::MailView, "ﾒｰﾙ読み出し(&R)", "自動ﾓｰﾄﾞで読みだしたﾛｸﾞﾌｧｲﾙをｴﾃﾞｨﾀｰで閲覧します", "ﾒｰﾙ表示"},
    {cmd::ListView, "ﾘｽﾄ読み出し(&L)", "自動ﾓｰﾄﾞで読みだしたﾘｽﾄの編集", "ﾘｽﾄ表示"},
    {cmd::AutoModeSettings, "自動ﾓｰﾄﾞの設定(&V)", "自動ﾓｰﾄﾞのＬＲＳの有無の設定", "自動ﾓｰﾄﾞ設定"},
    {cmd::AutoModeStart, "自動ﾓｰﾄﾞ起動(&A)", "自動運転をスタート", "自動ﾓｰﾄﾞ開始"},
    {cmd::Connect, "相手局にｺﾈｸﾄ(&C)", "相手局に自動ｺﾈｸﾄ", "自動ｺﾈｸﾄ"},
    {cmd::MailSend, "ﾒｰﾙ自動送信(&S)", "ﾒｰﾙの複数自動送信", "ﾒｰﾙ自動送信"},
    {cmd::ListRead, "ﾘｽﾄ読みだし(&L)", "ﾌﾞﾚﾃﾝﾘｽﾄの自動読み出し", "ﾘｽﾄ自動読出"},
    {cmd::MailRead, "ﾒｰﾙ自動読出(&R)", "ﾒｰﾙの複数自動読み出し", "ﾒｰﾙ自動読出"},
    {cmd::AutoModeEnd, "自動ﾓｰﾄﾞ終了(&B)", "自動ﾓｰﾄﾞの終了／中止", "自動ﾓｰﾄﾞ終了"},
    {cmd::StationSettings, "相手局の設定(&C)", "自動ｺﾈｸﾄの相手局／条件の設定", ""},
    {cmd::SendMailSelect, "送信ﾒｰﾙ選択(&S)", "自動送信ﾒｰﾙの設定", "自動送信設定"},
    {cmd::FieldSettings, "ﾌｨｰﾙﾄﾞ設定(&L)", "読み出しﾌｨｰﾙﾄﾞの設定", ""},
    {cmd::LastMailNo, "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰ(&R)", "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰの設定", ""},
    {cmd::EditIni, "INIﾌｧｲﾙの編集(&I)", "NAMI.INIﾌｱｲﾙをｴﾃﾞｨﾀｰで編集", ""},
    {cmd::ComPortSettings, "通信ﾎﾟｰﾄ設定(&P)", "COMﾎﾟｰﾄの設定", ""},
    {cmd::EditorSettings, "ｴﾃﾞｨﾀｰの設定(&E)", "ｴﾃﾞｨﾀｰの設定", ""},
    {cmd::FileNameSettings, "ﾃﾝﾎﾟﾗﾘｰﾌｧｲﾙ設定(&F)", "自動運転時使われるﾌｧｲﾙ名の設定", ""},
    {cmd::ViewToolbar, "ツールバー(&T)", "ﾂｰﾙﾊﾞｰの表示/非表示", "ﾂｰﾙﾊﾞｰの表示/非表示"},
    {cmd::ViewStatusBar, "ステータス バー(&S)", "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示", "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示"},
    {cmd::FontSelect, "ﾌｫﾝﾄの選択(&J)", "表示ﾌｫﾝﾄの選択", ""},
    {cmd::UserManual, "ﾕｰｻﾞｰﾏﾆｭｱﾙ(&U)", "ﾕｰｻﾞｰﾏﾆｭｱﾙの表示", "ﾍﾙﾌﾟの表示"},
    {cmd::AppAbout, "バージョン情報(&A)...", "ﾌﾟﾛｸﾞﾗﾑ情報、ﾊﾞｰｼﾞｮﾝ、著作権を表示", "ﾊﾞｰｼﾞｮﾝ情報"},
    {cmd::EditUndo, "元に戻す", "直前に行った動作を元に戻す", ""},
    {cmd::EditCut, "切り取り", "選択範囲を切り取ってｸﾘｯﾌﾟﾎﾞｰﾄﾞに移動", ""},
    {cmd::NextPane, "次のﾍﾟｲﾝ", "次のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え", ""},
    {cmd::PrevPane, "前のﾍﾟｲﾝ", "前のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え", ""},
};

}  // namespace

const std::vector<MenuInfo>& MainMenu() {
  static const std::vector<MenuInfo> menus = {
      {"相手局情報(&F)",
       {cmd::FileNew, cmd::FileOpen, cmd::FileSave, cmd::FileSaveAs, kSeparator, kRecentFiles, kSeparator,
        cmd::AppExit}},
      {"編集(&E)",
       {cmd::EditCopy, cmd::EditPaste, cmd::PasteStop, cmd::CopyToFile, kSeparator, cmd::EditAndSend,
        cmd::SearchCondition, cmd::SearchUp, cmd::SearchDown}},
      {"ｱｯﾌﾟ/ﾀﾞｳﾝﾛｰﾄﾞ(&T)", {cmd::Upload, cmd::UploadStop, cmd::Download, cmd::RetroDownload, cmd::DownloadEnd}},
      {"ｴﾃﾞｨﾀｰ(&R)", {cmd::MailCreate, cmd::MailView, cmd::ListView}},
      {"ｺﾏﾝﾄﾞ(&C)",
       {cmd::AutoModeSettings, cmd::AutoModeStart, cmd::Connect, cmd::MailSend, cmd::ListRead, cmd::MailRead,
        cmd::AutoModeEnd}},
      {"設定(&V)",
       {cmd::StationSettings, cmd::SendMailSelect, cmd::FieldSettings, cmd::LastMailNo, cmd::EditIni, kSeparator,
        cmd::ComPortSettings, cmd::EditorSettings, cmd::FileNameSettings, cmd::ViewToolbar, cmd::ViewStatusBar,
        cmd::FontSelect}},
      {"ﾍﾙﾌﾟ(&H)", {cmd::UserManual, cmd::AppAbout}},
  };
  return menus;
}

const std::vector<int>& ToolbarButtons() {
  static const std::vector<int> buttons = {
      cmd::Upload,        cmd::Download,         cmd::RetroDownload, kSeparator,       cmd::Connect,
      cmd::ListRead,      cmd::MailRead,         cmd::MailSend,      cmd::AutoModeEnd, kSeparator,
      cmd::AutoModeStart, cmd::AutoModeSettings, kSeparator,         cmd::ListView,    cmd::MailView,
      cmd::MailCreate,    cmd::SendMailSelect,   kSeparator,         cmd::UserManual};
  return buttons;
}

const CommandInfo* FindCommand(int id) {
  for (const CommandInfo& c : kCommands)
    if (c.id == id) return &c;
  return nullptr;
}

}  // namespace nami
