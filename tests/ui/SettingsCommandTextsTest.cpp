// The menu labels, status-bar prompts and tool tips of the transfer,
// clipboard, editor and settings commands, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "ui/Command.h"
#include "ui/CommandTable.h"

namespace nami {
namespace {

struct Texts {
  Command id;
  const char* label;
  const char* prompt;
  const char* tip;
};

TEST(SettingsCommandTexts, LabelsPromptsAndTipsAreTheProgramsOwn) {
  const Texts expected[] = {
      {Command::Upload, "アップロード(&Uｱ)", "ディスクからのファイルのアップロード", "ｱｯﾌﾟﾛｰﾄﾞ"},
      {Command::UploadStop, "アップロード中止(&Bﾁ)", "", ""},
      {Command::Download, "ダウンロード(&Dﾀ)", "ディスクへのファイルのダウンロード", "ﾀﾞｳﾝﾛｰﾄﾞ"},
      {Command::RetroDownload, "さかのぼってﾀﾞｳﾝ(&Rｻ)", "ﾗｲﾝｶｰｿﾙまでさかのぼってダウンロードします", "さかのぼりﾀﾞｳﾝ"},
      {Command::DownloadEnd, "ダウンロード終了(&Sｽ)", "ダウンロードを終了します", ""},
      {Command::EditCopy, "コピー(&Cｺ)", "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存", "ｺﾋﾟ-"},
      {Command::EditPaste, "ペースト送信(&Pﾊ)", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を貼り付け", "貼り付け"},
      {Command::PasteStop, "ﾍﾟｰｽﾄ送信中止(&Aｽ)", "ペースト送信を中止します", ""},
      {Command::CopyToFile, "ﾌｧｲﾙにｺﾋﾟｰ(&Fﾌ)", "ファイルにコピーします", ""},
      {Command::ComPortSettings, "通信ﾎﾟｰﾄ設定(&Pﾂ)", "COMﾎﾟｰﾄの設定", ""},
      {Command::StationSettings, "相手局の設定(&Cｺ)", "自動ｺﾈｸﾄの相手局／条件の設定", ""},
      {Command::AutoModeSettings, "自動ﾓｰﾄﾞの設定(&Vｾ)", "自動ﾓｰﾄﾞのＬＲＳの有無の設定", "自動ﾓｰﾄﾞ設定"},
      {Command::FieldSettings, "ﾌｨｰﾙﾄﾞ設定(&Lﾘ)", "読み出しﾌｨｰﾙﾄﾞの設定", ""},
      {Command::LastMailNo, "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰ(&Rﾖ)", "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰの設定", ""},
      {Command::SendMailSelect, "送信ﾒｰﾙ選択(&Sｿ)", "自動送信ﾒｰﾙの設定", "自動送信設定"},
      {Command::FileNameSettings, "ﾃﾝﾎﾟﾗﾘｰﾌｧｲﾙ設定(&Fﾌ)", "自動運転時使われるﾌｧｲﾙ名の設定", ""},
      {Command::MailCreate, "ﾒｰﾙ作成(&Sｶ)", "メールの作成のためエディター起動", "ﾒｰﾙ作成"},
      {Command::MailView, "ﾒｰﾙ読み出し(&Rﾖ)", "自動ﾓｰﾄﾞで読みだしたﾛｸﾞﾌｧｲﾙをｴﾃﾞｨﾀｰで閲覧します", "ﾒｰﾙ表示"},
      {Command::ListView, "ﾘｽﾄ読み出し(&Lﾘ)", "自動ﾓｰﾄﾞで読みだしたﾘｽﾄの編集", "ﾘｽﾄ表示"},
      {Command::EditIni, "INIﾌｧｲﾙの編集(&Iｲ)", "NAMI.INIﾌｱｲﾙをｴﾃﾞｨﾀｰで編集", ""},
      {Command::EditorSettings, "ｴﾃﾞｨﾀｰの設定(&Eｴ)", "ｴﾃﾞｨﾀｰの設定", ""},
      {Command::UserManual, "ﾕｰｻﾞｰﾏﾆｭｱﾙ(&Uﾕ)", "ﾕｰｻﾞｰﾏﾆｭｱﾙの表示", "ﾍﾙﾌﾟの表示"},
  };
  for (const Texts& e : expected) {
    SCOPED_TRACE(e.label);
    const CommandRow* info = FindCommand(static_cast<int>(e.id));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::string(info->label), e.label);
    EXPECT_EQ(std::string(info->prompt), e.prompt);
    EXPECT_EQ(std::string(info->tip), e.tip);
  }
}

}  // namespace
}  // namespace nami
