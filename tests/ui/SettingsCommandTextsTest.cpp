// The menu labels, status-bar prompts and tool tips of the transfer,
// clipboard, editor and settings commands, byte for byte.
#include <gtest/gtest.h>

#include <string>

#include "ui/CommandIds.h"
#include "ui/CommandTable.h"

namespace nami {
namespace {

struct Texts {
  int id;
  const char* label;
  const char* prompt;
  const char* tip;
};

TEST(SettingsCommandTexts, LabelsPromptsAndTipsAreTheProgramsOwn) {
  const Texts expected[] = {
      {cmd::Upload, "アップロード(&U)", "ディスクからのファイルのアップロード", "ｱｯﾌﾟﾛｰﾄﾞ"},
      {cmd::UploadStop, "アップロード中止(&B)", "", ""},
      {cmd::Download, "ダウンロード(&D)", "ディスクへのファイルのダウンロード", "ﾀﾞｳﾝﾛｰﾄﾞ"},
      {cmd::RetroDownload, "さかのぼってﾀﾞｳﾝ(&R)", "ﾗｲﾝｶｰｿﾙまでさかのぼってダウンロードします", "さかのぼりﾀﾞｳﾝ"},
      {cmd::DownloadEnd, "ダウンロード終了(&S)", "ダウンロードを終了します", ""},
      {cmd::EditCopy, "コピー(&C)", "選択範囲をｺﾋﾟｰしてｸﾘｯﾌﾟﾎﾞｰﾄﾞに保存", "ｺﾋﾟ-"},
      {cmd::EditPaste, "ペースト送信(&P)", "ｸﾘｯﾌﾟﾎﾞｰﾄﾞの内容を貼り付け", "貼り付け"},
      {cmd::PasteStop, "ﾍﾟｰｽﾄ送信中止(&A)", "ペースト送信を中止します", ""},
      {cmd::CopyToFile, "ﾌｧｲﾙにｺﾋﾟｰ(&F)", "ファイルにコピーします", ""},
      {cmd::ComPortSettings, "通信ﾎﾟｰﾄ設定(&P)", "COMﾎﾟｰﾄの設定", ""},
      {cmd::StationSettings, "相手局の設定(&C)", "自動ｺﾈｸﾄの相手局／条件の設定", ""},
      {cmd::AutoModeSettings, "自動ﾓｰﾄﾞの設定(&V)", "自動ﾓｰﾄﾞのＬＲＳの有無の設定", "自動ﾓｰﾄﾞ設定"},
      {cmd::FieldSettings, "ﾌｨｰﾙﾄﾞ設定(&L)", "読み出しﾌｨｰﾙﾄﾞの設定", ""},
      {cmd::LastMailNo, "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰ(&R)", "ﾗｽﾄﾒｰﾙﾅﾝﾊﾞｰの設定", ""},
      {cmd::SendMailSelect, "送信ﾒｰﾙ選択(&S)", "自動送信ﾒｰﾙの設定", "自動送信設定"},
      {cmd::FileNameSettings, "ﾃﾝﾎﾟﾗﾘｰﾌｧｲﾙ設定(&F)", "自動運転時使われるﾌｧｲﾙ名の設定", ""},
      {cmd::MailCreate, "ﾒｰﾙ作成(&S)", "メールの作成のためエディター起動", "ﾒｰﾙ作成"},
      {cmd::MailView, "ﾒｰﾙ読み出し(&R)", "自動ﾓｰﾄﾞで読みだしたﾛｸﾞﾌｧｲﾙをｴﾃﾞｨﾀｰで閲覧します", "ﾒｰﾙ表示"},
      {cmd::ListView, "ﾘｽﾄ読み出し(&L)", "自動ﾓｰﾄﾞで読みだしたﾘｽﾄの編集", "ﾘｽﾄ表示"},
      {cmd::EditIni, "INIﾌｧｲﾙの編集(&I)", "NAMI.INIﾌｱｲﾙをｴﾃﾞｨﾀｰで編集", ""},
      {cmd::EditorSettings, "ｴﾃﾞｨﾀｰの設定(&E)", "ｴﾃﾞｨﾀｰの設定", ""},
      {cmd::UserManual, "ﾕｰｻﾞｰﾏﾆｭｱﾙ(&U)", "ﾕｰｻﾞｰﾏﾆｭｱﾙの表示", "ﾍﾙﾌﾟの表示"},
  };
  for (const Texts& e : expected) {
    SCOPED_TRACE(e.label);
    const CommandInfo* info = FindCommand(e.id);
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(std::string(info->label), e.label);
    EXPECT_EQ(std::string(info->prompt), e.prompt);
    EXPECT_EQ(std::string(info->tip), e.tip);
  }
}

}  // namespace
}  // namespace nami
