#include "ui/CommandTable.h"

#include "ui/CommandIds.h"

namespace nami {
namespace {

const CommandInfo kCommands[] = {
    {cmd::FileNew, "新規作成(&Nｼ)", "新規にﾌｧｲﾙを作成", "新規作成"},
    {cmd::FileOpen, "開く(&Oﾋ)...", "既存のﾌｧｲﾙを開く", "開く"},
    {cmd::FileSave, "上書き保存(&Sｳ)", "開いているﾌｧｲﾙを上書きして保存", "上書き保存"},
    {cmd::FileSaveAs, "名前を付けて保存(&Aﾅ)...", "開いているﾌｧｲﾙに名前を付けて保存", ""},
    {cmd::AppExit, "終了(&Xﾘ)", "ｱﾌﾟﾘｹｰｼｮﾝを終了し、ﾌｧｲﾙの保存を指示", "終了"},
    {cmd::EditCopy, "コピー(&Cｺ)", "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存", "ｺﾋﾟ-"},
    {cmd::EditPaste, "ペースト送信(&Pﾊ)", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を貼り付け", "貼り付け"},
    {cmd::PasteStop, "ﾍﾟｰｽﾄ送信中止(&Aｽ)", "ペースト送信を中止します", ""},
    {cmd::CopyToFile, "ﾌｧｲﾙにｺﾋﾟｰ(&Fﾌ)", "ファイルにコピーします", ""},
    {cmd::EditAndSend, "編集して送信(&Lﾍ)", "選択した行を編集し送信する", ""},
    {cmd::SearchCondition, "検索条件(&Fｾ)", "検索条件を設定します", ""},
    {cmd::SearchUp, "上検索(&Uｳ)", "", ""},
    {cmd::SearchDown, "下検索(&Dｼ)", "", ""},
    {cmd::Upload, "アップロード(&Uｱ)", "ディスクからのファイルのアップロード", "ｱｯﾌﾟﾛｰﾄﾞ"},
    {cmd::UploadStop, "アップロード中止(&Bﾁ)", "", ""},
    {cmd::Download, "ダウンロード(&Dﾀ)", "ディスクへのファイルのダウンロード", "ﾀﾞｳﾝﾛｰﾄﾞ"},
    {cmd::RetroDownload, "さかのぼってﾀﾞｳﾝ(&Rｻ)", "ﾗｲﾝｶｰｿﾙまでさかのぼってダウンロードします", "さかのぼりﾀﾞｳﾝ"},
    {cmd::DownloadEnd, "ダウンロード終了(&Sｽ)", "ダウンロードを終了します", ""},
    {cmd::MailCreate, "ﾒｰﾙ作成(&Sｶ)", "メールの作成のためエディター起動", "ﾒｰﾙ作成"},
    {cmd::MailView, "ﾒｰﾙ読み出し(&Rﾖ)", "自動ﾓｰﾄﾞで読みだしたﾛｸﾞﾌｧｲﾙをｴﾃﾞｨﾀｰで閲覧します", "ﾒｰﾙ表示"},
    {cmd::ListView, "ﾘｽﾄ読み出し(&Lﾘ)", "自動ﾓｰﾄﾞで読みだしたﾘｽﾄの編集", "ﾘｽﾄ表示"},
    {cmd::AutoModeSettings, "自動ﾓｰﾄﾞの設定(&Vｾ)", "自動ﾓｰﾄﾞのＬＲＳの有無の設定", "自動ﾓｰﾄﾞ設定"},
    {cmd::AutoModeStart, "自動ﾓｰﾄﾞ起動(&Aｵ)", "自動運転をスタート", "自動ﾓｰﾄﾞ開始"},
    {cmd::Connect, "相手局にｺﾈｸﾄ(&Cｺ)", "相手局に自動ｺﾈｸﾄ", "自動ｺﾈｸﾄ"},
    {cmd::MailSend, "ﾒｰﾙ自動送信(&Sｿ)", "ﾒｰﾙの複数自動送信", "ﾒｰﾙ自動送信"},
    {cmd::ListRead, "ﾘｽﾄ読みだし(&Lﾘ)", "ﾌﾞﾚﾃﾝﾘｽﾄの自動読み出し", "ﾘｽﾄ自動読出"},
    {cmd::MailRead, "ﾒｰﾙ自動読出(&Rﾖ)", "ﾒｰﾙの複数自動読み出し", "ﾒｰﾙ自動読出"},
    {cmd::AutoModeEnd, "自動ﾓｰﾄﾞ終了(&Bｼ)", "自動ﾓｰﾄﾞの終了／中止", "自動ﾓｰﾄﾞ終了"},
    {cmd::StationSettings, "相手局の設定(&Cｺ)", "自動ｺﾈｸﾄの相手局／条件の設定", ""},
    {cmd::SendMailSelect, "送信ﾒｰﾙ選択(&Sｿ)", "自動送信ﾒｰﾙの設定", "自動送信設定"},
    {cmd::FieldSettings, "ﾌｨｰﾙﾄﾞ設定(&Lﾘ)", "読み出しﾌｨｰﾙﾄﾞの設定", ""},
    {cmd::LastMailNo, "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰ(&Rﾖ)", "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰの設定", ""},
    {cmd::EditIni, "INIﾌｧｲﾙの編集(&Iｲ)", "NAMI.INIﾌｱｲﾙをｴﾃﾞｨﾀｰで編集", ""},
    {cmd::ComPortSettings, "通信ﾎﾟｰﾄ設定(&Pﾂ)", "COMﾎﾟｰﾄの設定", ""},
    {cmd::EditorSettings, "ｴﾃﾞｨﾀｰの設定(&Eｴ)", "ｴﾃﾞｨﾀｰの設定", ""},
    {cmd::FileNameSettings, "ﾃﾝﾎﾟﾗﾘｰﾌｧｲﾙ設定(&Fﾌ)", "自動運転時使われるﾌｧｲﾙ名の設定", ""},
    {cmd::ViewToolbar, "ツールバー(&Tﾊ)", "ﾂｰﾙﾊﾞｰの表示/非表示", "ﾂｰﾙﾊﾞｰの表示/非表示"},
    {cmd::ViewStatusBar, "ステータス バー(&Sｽ)", "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示", "ｽﾃｰﾀｽ ﾊﾞｰの表示/非表示"},
    {cmd::FontSelect, "ﾌｫﾝﾄの選択(&Jﾁ)", "表示ﾌｫﾝﾄの選択", ""},
    {cmd::UserManual, "ﾕｰｻﾞｰﾏﾆｭｱﾙ(&Uﾕ)", "ﾕｰｻﾞｰﾏﾆｭｱﾙの表示", "ﾍﾙﾌﾟの表示"},
    {cmd::AppAbout, "バージョン情報(&Aﾊ)...", "ﾌﾟﾛｸﾞﾗﾑ情報、ﾊﾞｰｼﾞｮﾝ、著作権を表示", "ﾊﾞｰｼﾞｮﾝ情報"},
    {cmd::EditUndo, "元に戻す", "直前に行った動作を元に戻す", ""},
    {cmd::EditCut, "切り取り", "選択範囲を切り取ってｸﾘｯﾌﾟﾎﾞｰﾄﾞに移動", ""},
    {cmd::NextPane, "次のﾍﾟｲﾝ", "次のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え", ""},
    {cmd::PrevPane, "前のﾍﾟｲﾝ", "前のｳｨﾝﾄﾞｳ ﾍﾟｲﾝに切り替え", ""},
};

}  // namespace

const std::vector<MenuInfo>& MainMenu() {
  static const std::vector<MenuInfo> menus = {
      {"相手局情報(&Fﾌ)",
       {cmd::FileNew, cmd::FileOpen, cmd::FileSave, cmd::FileSaveAs, kSeparator, kRecentFiles, kSeparator,
        cmd::AppExit}},
      {"編集(&Eｼ)",
       {cmd::EditCopy, cmd::EditPaste, cmd::PasteStop, cmd::CopyToFile, kSeparator, cmd::EditAndSend,
        cmd::SearchCondition, cmd::SearchUp, cmd::SearchDown}},
      {"ｱｯﾌﾟ/ﾀﾞｳﾝﾛｰﾄﾞ(&Tﾃ)", {cmd::Upload, cmd::UploadStop, cmd::Download, cmd::RetroDownload, cmd::DownloadEnd}},
      {"ｴﾃﾞｨﾀｰ(&Rｴ)", {cmd::MailCreate, cmd::MailView, cmd::ListView}},
      {"ｺﾏﾝﾄﾞ(&Cｺ)",
       {cmd::AutoModeSettings, cmd::AutoModeStart, cmd::Connect, cmd::MailSend, cmd::ListRead, cmd::MailRead,
        cmd::AutoModeEnd}},
      {"設定(&Vﾋ)",
       {cmd::StationSettings, cmd::SendMailSelect, cmd::FieldSettings, cmd::LastMailNo, cmd::EditIni, kSeparator,
        cmd::ComPortSettings, cmd::EditorSettings, cmd::FileNameSettings, cmd::ViewToolbar, cmd::ViewStatusBar,
        cmd::FontSelect}},
      {"ﾍﾙﾌﾟ(&Hﾍ)", {cmd::UserManual, cmd::AppAbout}},
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
