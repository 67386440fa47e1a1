// The built-in message base of the simulated BBS (UTF-8 here, served as CP932).
#include "sim/MessageBase.h"
#include "text/Cp932.h"

namespace nami::sim {
namespace {

constexpr const char* kBuiltIn = R"(# Built-in messages of the simulated BBS QZ1ABC.
MSG 1201 B Y ALL JPN QZ1ABC 261201/0900 QZ1ABC BBS 運用案内
QZ1ABC BBS へようこそ。
このBBSは練習用のシミュレーターです。
主なコマンド:
  L        前回のLから後の新着一覧
  LL n     最新n件の一覧
  L n-m    番号n～mの一覧
  R n      n番を読む
  S call   メールを書く（件名、本文、最後にCtrl-Zまたは/EX）
  B        終了
73, QZ1ABC SysOp
/EX
MSG 1202 B Y ALL WW QZ2KLM 261201/1130 Packet radio basics
Packet radio sends data in short frames over the air.
A TNC (terminal node controller) turns your terminal's keystrokes
into AX.25 frames and back again.
Type CONNECT followed by a call sign at the cmd: prompt to start.
/EX
MSG 1203 B Y SALE JPN QZ3ABD 261202/2015 売ります: 144MHz FMトランシーバー
ハンディ機 1台、付属品一式（充電器、アンテナ）。
動作確認済み、外観きれいです。
希望価格 8,000円 #送料別
連絡は QZ3ABD @QZ1ABC まで。
/EX
MSG 1204 B Y WX JPN QZ1WX 261203/0600 関東地方 週末の天気
土曜日: 晴れ時々曇り、最高気温 12度
日曜日: 曇りのち雨、最高気温 9度
移動運用の方は防寒対策を。
/EX
MSG 1205 B Y DX WW QZ5DX 261203/2240 DX bulletin #48
This week's DX news:
  - 3Y0X: operation extended to end of month
  - FT8 activity on 6m > expected, band open to VK
  - QSL via bureau only, no direct cards (> 2 weeks delay)
Propagation: SFI 145, A=8, K=2.
#48 ends here. Next bulletin #49 on Friday.
/EX
MSG 1206 B Y TECH JPN QZ2TEC 261204/1910 TNCのパラメーター設定について
TNC2互換機の主なパラメーター:
  MYCALL  自局のコールサイン
  TXDELAY 送信開始までの遅延 (初期値 30)
  PACLEN  1パケットの最大長 (初期値 128)
  MAXFRAME 一度に送るフレーム数 (初期値 4)
  FRACK   再送までの待ち時間
  RETRY   再送回数 (超えると *** retry count exceeded)
9600bpsではTXDELAYを短めに、1200bpsでは無線機に合わせて調整して下さい。
長すぎると効率が落ち、短すぎると相手局が受信できません。
不明な点はこのBBSの TECH カテゴリへどうぞ。
/EX
MSG 1207 P Y QZ1XYZ - QZ4OLD 261205/0815 Re: 先日の交信
先日は144MHzでの交信ありがとうございました。
QSLカードは本日ビューロー経由で発送しました。
またよろしくお願いします。 73
/EX
MSG 1208 B Y HAM ALL QZ6HAM 261205/1230 Club meeting on Sunday
The monthly meeting of the QZ6 radio club is on Sunday at 14:00.
Agenda:
 1. Field day report
 2. Repeater maintenance (#2 antenna replaced)
 3. New members
Talk-in on 145.50 MHz.
/EX
MSG 1209 B Y KEPS WW QZ7SAT 261206/0300 Satellite keps 2026-340
SAT: AO-7
Epoch time:      26340.12345678
Element set:     123
Inclination:     101.9876 deg
RA of node:      312.4567 deg
Eccentricity:    0.0012345
Arg of perigee:  123.4567 deg
Mean anomaly:    236.7890 deg
Mean motion:     12.53612345 rev/day
Decay rate:      -3.0e-07 rev/day^2
Epoch rev:       12345
Checksum:        312
/EX
MSG 1210 B Y ALL JPN QZ3ABD 261206/1745 アマチュア無線フェスティバルのお知らせ
来月第二日曜日、市民会館にてアマチュア無線フェスティバルを開催します。
ジャンク市、講演会、パケット通信の体験コーナーがあります。
入場無料。お気軽にお越し下さい。
/EX
MSG 1211 B N SALE WW QZ2KLM 261207/0910 For sale: HF linear amplifier
500 W HF linear amplifier, 160-10 m, with manual.
Price: make an offer. Pick-up only.
Reply with SP QZ2KLM.
/EX
MSG 1212 B N TECH WW QZ9LNX 261207/1015 Long line and wrap test
This line is deliberately much longer than eighty characters so that a terminal has to wrap it somewhere sensible.
Short line.
日本語の長い行の折り返し試験です。全角文字が八十バイトの境界をまたぐ場合に文字が割れないことを確かめます。
END
/EX
MSG 1213 P N QZ1XYZ - QZ2KLM 261207/1100 Schedule for tonight
Hi, shall we try 7.045 MHz at 21:00 tonight?
If the band is closed we go to 3.535 MHz.
73 de QZ2KLM
/EX
MSG 1214 B N WX JPN QZ1WX 261207/1200 台風情報 第3報
台風25号は現在、南の海上を北西に進んでいます。
中心気圧 965hPa、最大風速 35m/s。
週明けには関東地方に接近するおそれがあります。
非常通信の準備をお願いします。
  周波数: 145.00MHz / 7.030MHz
  パケット: QZ1ABC BBS の EMERG カテゴリ
/EX
MSG 1215 B N DX WW QZ5DX 261207/1230 DX bulletin #49
<QZ5DX> Quick update:
  - VP8 expedition QRT early due to weather
  - 10 m openings to South America most afternoons
>> 17 m FT8 is the band to watch.
/EX
MSG 1216 B N EMERG JPN QZ1ABC 261207/1300 非常通信訓練のお知らせ
来週土曜日 10:00～12:00 に非常通信訓練を行います。
参加局は当BBSに以下の形式でメールを送って下さい。
  SB EMERG @JPN
  件名: 訓練報告 #局名
  本文: 運用場所、電源、アンテナ
/EX
MSG 1217 B N ALL WW QZ8NEW 261207/1400 Hello from a new station
Hello all, I am new to packet radio.
My station: 2 m FM rig, 1200 bps TNC, ground plane antenna.
Any advice welcome! 73
/EX
MSG 1218 B N HAM JPN QZ6HAM 261207/1430 クラブ局 QSL発行状況
10月分までのQSLカードを発行しました。
未着の方はご連絡下さい。
/EX
MSG 1219 P N QZ2KLM - QZ1XYZ 261207/1500 Re: Schedule for tonight
OK, 21:00 on 7.045 MHz. 73
/EX
MSG 1220 B N SALE JPN QZ4OLD 261207/1530 求む: 430MHz用 八木アンテナ
430MHz用の八木アンテナ（10エレ以上）を探しています。
中古で構いません。
/EX
MSG 1221 B N TECH WW QZ9LNX 261207/1600 Building a 9600 bps packet station
Notes on running 9600 bps packet (G3RUH compatible):

1. The radio
   The transceiver must have a flat audio path. Take the receive audio
   from the discriminator, not from the speaker, and feed the transmit
   audio straight into the varactor of the modulator. Many modern mobile
   rigs have a "data" jack (mini-DIN 6) with both signals on it.

2. The TNC
   A TNC2 clone with a 9600 bps modem board, or a modern KISS TNC.
   Set TXDELAY as short as the radio allows: 10 to 15 is typical.

3. The serial port
   Run the serial line at 9600 bps or faster. At 19200 bps the TNC
   can buffer whole frames while the terminal sends.

4. Adjusting the deviation
   Aim for about 3 kHz. Too much and the receiver distorts; too little
   and the other station cannot decode you.

5. Checking the link
   Connect to a nearby BBS and list a few messages (LL 10). If you see
   many "*** retry count exceeded" messages, check the deviation first.

6. Common mistakes
   - using the microphone input (it has pre-emphasis)
   - a squelch that is too slow
   - PACLEN too large on a noisy channel
   - forgetting to turn off the TNC's echo when the terminal echoes

Good luck, and see you on 9600!
Questions to QZ9LNX @QZ1ABC.
/EX
MSG 1222 B N ALL JPN QZ7SAT 261207/1630 衛星通信入門 (1)
衛星通信を始めたい方のための連載です。

第1回: 必要な設備
  ・144MHz と 430MHz の送受信機（FM または SSB）
  ・ハンディタイプの八木アンテナ
  ・軌道予測ソフト（ケプラー要素は KEPS カテゴリにあります）

第2回以降の予定:
  ・アンテナの向け方
  ・ドップラーシフトの補正
  ・パケット衛星でのデジピート

質問は SP QZ7SAT でどうぞ。
/EX
MSG 1223 B N HAM WW QZ6HAM 261207/1700 Contest results
Results of the autumn VHF contest:
  #1  QZ6HAM   1,234 points
  #2  QZ2KLM     987 points
  #3  QZ8NEW     456 points
Congratulations to all > 50 entrants!
/EX
MSG 1224 P N QZ1XYZ - QZ1ABC 261207/1730 BBSへの登録完了
QZ1XYZ さん、BBSへの登録が完了しました。
名前とQTHは N コマンドで変更できます。
QZ1ABC SysOp
/EX
MSG 1225 B N DX JPN QZ5DX 261207/1800 DX情報: 南極からの運用
南極観測隊の局が 14MHz と 21MHz で運用中です。
CW: 14.025MHz 付近
SSB: 21.295MHz 付近
QSLは JARL ビューロー経由。
/EX
MSG 1226 B N ALL WW QZ2KLM 261207/1830 Net tonight
Reminder: the QZ packet net starts at 20:00 on 145.675 MHz.
Check in with your call, name and QTH.
/EX
MSG 1227 P N QZ9LNX - QZ8NEW 261207/1900 Question about 9600 bps
Thanks for the article. Which modem board do you use?
/EX
MSG 1228 B N TECH JPN QZ2TEC 261207/1930 文字コードについて
このBBSのメッセージはシフトJISで書かれています。
半角ｶﾀｶﾅも使えます: ﾊﾟｹｯﾄ ﾂｳｼﾝ
記号の例: ＃＞＜％＆ と #><%&
ソ表示能力 (0x5C を含む文字) の確認にどうぞ。
/EX
MSG 1229 B N WX WW QZ1WX 261207/2000 Space weather
Solar flux 152, K index rising to 4 tonight.
Expect disturbed conditions on the low bands > 24 h.
/EX
MSG 1230 B N ALL JPN QZ1ABC 261207/2030 年末年始の運用について
年末年始もBBSは通常どおり運用します。
停電などで止まった場合は QZ1ABC-1 をお使い下さい。
良いお年を。
/EX
)";

}  // namespace

CMessageBase CMessageBase::BuiltIn() { return Parse(Utf8ToCp932(kBuiltIn)); }

}  // namespace nami::sim
