// SPDX-License-Identifier: GPL-3.0-or-later
#include "ui/error_text.h"

#include <QCoreApplication>
#include <QStringList>

#include "generator/rules.h"

namespace sonavela::ui {

namespace {

// %1 is the subject (a device, port, input or file), %2 a number.
const char* Sentence(ErrorKind kind) {
  switch (kind) {
    case ErrorKind::kNoSuchDevice:
      return QT_TRANSLATE_NOOP("Sonavela", "%2 番のＭＩＤＩデータ出力先はありません。");
    case ErrorKind::kOutputGone:
      return QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩデータ出力先「%1」はもうありません。");
    case ErrorKind::kOutputNotOpened:
      return QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩデータ出力先「%1」を開けません。");
    case ErrorKind::kOutputUnreachable:
      return QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩデータ出力先に届かなくなりました。");
    case ErrorKind::kOutputFailed:
      return QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩデータ出力先が動かなくなりました。");
    case ErrorKind::kVirtualPortNotCreated:
      return QT_TRANSLATE_NOOP("Sonavela", "「%1」を作れません。");
    case ErrorKind::kVirtualPortFailed:
      return QT_TRANSLATE_NOOP("Sonavela", "「%1」が動かなくなりました。");
    case ErrorKind::kNoAlsaSequencer:
      return QT_TRANSLATE_NOOP(
          "Sonavela", "ALSA シーケンサーがありません（/dev/snd/seq がないか、使えません）。");
    case ErrorKind::kDevicesUnlisted:
      return QT_TRANSLATE_NOOP("Sonavela", "%1 の装置は一覧にありません。");
    case ErrorKind::kNoJackServer:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK サーバーが動いていません。");
    case ErrorKind::kJackVersion:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK サーバーのプロトコルの版が違います。");
    case ErrorKind::kJackSharedMemory:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK サーバーの共有メモリーに届きません。");
    case ErrorKind::kJackClientRefused:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK サーバーがクライアントを断りました。");
    case ErrorKind::kJackNotActivated:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK クライアントを動かせません。");
    case ErrorKind::kJackClientNotSetUp:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK クライアントを用意できません。");
    case ErrorKind::kJackClientNotRun:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK サーバーがクライアントを動かしません。");
    case ErrorKind::kJackPortGone:
      return QT_TRANSLATE_NOOP("Sonavela", "接続先はもうありません。");
    case ErrorKind::kJackPortRefused:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK がポート「%1」を断りました。");
    case ErrorKind::kJackConnectRefused:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK が接続を断りました。");
    case ErrorKind::kJackNotConnected:
      return QT_TRANSLATE_NOOP("Sonavela", "接続できません。");
    case ErrorKind::kJackClientStopped:
      return QT_TRANSLATE_NOOP(
          "Sonavela",
          "JACK サーバーがこのプログラムのクライアントを止めました（処理が遅れました）。");
    case ErrorKind::kJackServerQuit:
      return QT_TRANSLATE_NOOP("Sonavela", "JACK サーバーが終了しました。");
    case ErrorKind::kJackInputRemoved:
      return QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩ入力「%1」がなくなりました。");
    case ErrorKind::kJackNotTaking:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "JACK サーバーがＭＩＤＩデータを受け取らなくなりました。");
    case ErrorKind::kJackLate:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "JACK サーバーが最後のＭＩＤＩデータを時間内に届けませんでした。");
    case ErrorKind::kNoJackInBuild:
      return QT_TRANSLATE_NOOP("Sonavela", "このプログラムは JACK なしで作られています。");
    case ErrorKind::kNoMidiInputNumber:
      return QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩ入力 %1 はありません（入力は %2 個です）。");
    case ErrorKind::kNoMidiInputNamed:
      return QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩ入力「%1」はありません。");
    case ErrorKind::kInputNotOpened:
      return QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩ入力「%1」を開けません。");
    case ErrorKind::kLinkNotJoined:
      return QT_TRANSLATE_NOOP("Sonavela", "Ableton Link のセッションに加われません。");
    case ErrorKind::kNoMaster:
      return QT_TRANSLATE_NOOP("Sonavela", "このプログラムは外部の同期元に従えません。");
    case ErrorKind::kSynthNotSetUp:
      return QT_TRANSLATE_NOOP("Sonavela", "内蔵シンセサイザーを用意できません。");
    case ErrorKind::kSynthNotStarted:
      return QT_TRANSLATE_NOOP("Sonavela", "内蔵シンセサイザーを起動できません。");
    case ErrorKind::kNotASoundFont:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "ファイル「%1」はサウンドフォント（SF2、SF3、DLS）ではありません。");
    case ErrorKind::kSoundFontNotLoaded:
      return QT_TRANSLATE_NOOP("Sonavela", "サウンドフォント「%1」を読み込めません。");
    case ErrorKind::kNoAudioOutput:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "内蔵シンセサイザーの音声出力がありません。環境変数 "
                               "SONAVELA_AUDIO_DRIVER で FluidSynth の音声ドライバーを選べます。");
    case ErrorKind::kAudioLost:
      return QT_TRANSLATE_NOOP("Sonavela", "内蔵シンセサイザーの音声出力がなくなりました。");
    case ErrorKind::kAudioDriverIsFile:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "音声ドライバー「file」は演奏せず、今のフォルダーに fluidsynth.wav "
                               "を書き込みます。");
    case ErrorKind::kNoSuchAudioDriver:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "この FluidSynth には音声ドライバー「%1」がありません。");
    case ErrorKind::kSoundFontMissing:
      return QT_TRANSLATE_NOOP("Sonavela", "サウンドフォント「%1」はありません。");
    case ErrorKind::kSoundFontUnreadable:
      return QT_TRANSLATE_NOOP("Sonavela", "サウンドフォント「%1」を読めません。");
    case ErrorKind::kSoundFontIsFolder:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "サウンドフォント「%1」はファイルではなくフォルダーです。");
    case ErrorKind::kSoundFontNotAFile:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "サウンドフォント「%1」は通常のファイルではありません。");
    case ErrorKind::kSoundFontEmpty:
      return QT_TRANSLATE_NOOP("Sonavela", "サウンドフォント「%1」は空です。");
    case ErrorKind::kNoSoundFont:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "General MIDI のサウンドフォントが見つかりません。パッケージ "
                               "timgm6mb-soundfont などを入れるか、環境変数 SONAVELA_SOUNDFONT "
                               "で選んでください。探したファイル:");
    case ErrorKind::kNoFileName:
      return QT_TRANSLATE_NOOP("Sonavela", "ファイル名がありません。");
    case ErrorKind::kIsFolder:
      return QT_TRANSLATE_NOOP("Sonavela", "フォルダーです。");
    case ErrorKind::kNotRegularFile:
      return QT_TRANSLATE_NOOP(
          "Sonavela", "通常のファイルではありません（デバイス、FIFO、ソケットは置き換えません）。");
    case ErrorKind::kFileTooLarge:
      return QT_TRANSLATE_NOOP("Sonavela", "%2 MiB より大きく、規則ファイルではありません。");
    case ErrorKind::kWavTooLarge:
      return QT_TRANSLATE_NOOP("Sonavela", "WAV ファイルには 4 GiB までしか入りません。");
    case ErrorKind::kCutShort:
      return QT_TRANSLATE_NOOP("Sonavela", "録音の一時ファイルが途中で切れています。");
    case ErrorKind::kMidiFileNotSaved:
      return QT_TRANSLATE_NOOP("Sonavela", "MIDI ファイル「%1」を保存できません。");
    case ErrorKind::kRuleFileNotSaved:
      return QT_TRANSLATE_NOOP("Sonavela", "規則ファイル「%1」を保存できません。");
    case ErrorKind::kSystem:
    case ErrorKind::kUsage:
    case ErrorKind::kBadUse:
      return nullptr;  // only the system's words
  }
  return nullptr;
}

}  // namespace

QString NoticeText(const sonavela::Notice& notice) {
  const auto say = [&notice](const char* text) {
    return QCoreApplication::translate("Sonavela", text)
        .replace(QStringLiteral("%1"), QString::fromStdString(notice.subject))
        .replace(QStringLiteral("%2"), QString::number(notice.number))
        .replace(QStringLiteral("%3"), QString::number(notice.tempo, 'g', 6));
  };
  switch (notice.kind) {
    case NoticeKind::kNoJackPlaybackPorts:
      return say(QT_TRANSLATE_NOOP("Sonavela",
                                   "内蔵シンセサイザーは JACK で鳴らしますが、JACK に再生ポートが"
                                   "ありません。%1:left と %1:right を接続してください。"));
    case NoticeKind::kTransportGone:
      return say(QT_TRANSLATE_NOOP(
          "Sonavela",
          "JACK トランスポートがなくなりました（サーバーが終了）。戻るのを待っています。"));
    case NoticeKind::kTransportBack:
      return say(QT_TRANSLATE_NOOP("Sonavela", "JACK トランスポートが戻りました。"));
    case NoticeKind::kClockMessagesLost:
      return say(QT_TRANSLATE_NOOP("Sonavela",
                                   "ＭＩＤＩ入力「%1」のデータが失われました。マスターが"
                                   "また始めるのを待っています。"));
    case NoticeKind::kClockInputGone:
      return say(QT_TRANSLATE_NOOP(
          "Sonavela", "ＭＩＤＩ入力「%1」がなくなりました。戻るまで和音を伸ばします。"));
    case NoticeKind::kClockStopped:
      return say(QT_TRANSLATE_NOOP(
          "Sonavela", "「%1」からのＭＩＤＩクロックが途絶えました。戻るまで和音を伸ばします。"));
    case NoticeKind::kLinkAlone:
      return say(QT_TRANSLATE_NOOP(
          "Sonavela", "ほかの Link ピアは応答しません。%3 BPM のセッションを始めます。"));
    case NoticeKind::kLinkJoined:
      return say(QT_TRANSLATE_NOOP("Sonavela",
                                   "%2 台のピアがいる %3 BPM の Link セッションに加わりました。"));
    case NoticeKind::kLinkStarted:
      return say(QT_TRANSLATE_NOOP("Sonavela", "Link ピアがセッションを始めました。"));
    case NoticeKind::kLinkStopped:
      return say(QT_TRANSLATE_NOOP(
          "Sonavela", "Link ピアがセッションを止めました。また始まるのを待っています。"));
    case NoticeKind::kOutputBack:
      return say(
          QT_TRANSLATE_NOOP("Sonavela", "ＭＩＤＩ出力装置「%1」が戻りました。また鳴らします。"));
    case NoticeKind::kChordLate:
      return say(QT_TRANSLATE_NOOP("Sonavela",
                                   "次の和音の探索が間に合いませんでした。和音は遅れて鳴ります。"));
  }
  return {};
}

QString ErrorText(const Error& error) {
  QStringList lines;
  if (const char* sentence = Sentence(error.kind)) {
    lines << QCoreApplication::translate("Sonavela", sentence)
                 .replace(QStringLiteral("%1"), QString::fromStdString(error.subject))
                 .replace(QStringLiteral("%2"), QString::number(error.number));
  }
  if (error.cause) {
    lines << ErrorText(*error.cause);
  }
  // Where a SoundFont was named: here, in the dialog.
  const bool saysWhereNamed =
      error.kind >= ErrorKind::kSoundFontMissing && error.kind <= ErrorKind::kSoundFontEmpty;
  if (!error.detail.empty() && !saysWhereNamed) {
    lines << QString::fromStdString(error.detail);
  }
  return lines.join(QLatin1Char('\n'));
}

namespace {

// %1 is the table or the text a finding holds, %2 its number.
const char* RuleFileSentence(generator::RuleFileProblem problem) {
  using generator::RuleFileProblem;
  switch (problem) {
    case RuleFileProblem::kNonAscii:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "規則の行に ASCII 以外の文字があります（桁はバイトで数えます）。");
    case RuleFileProblem::kControlCharacter:
      return QT_TRANSLATE_NOOP("Sonavela", "規則の行に制御文字があります。");
    case RuleFileProblem::kConnectionLineTooShort:
    case RuleFileProblem::kSubstitutionLineTooShort:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "%1規則の行が短すぎます。規則には %2 桁以上が要ります。");
    case RuleFileProblem::kNoWeight:
      return QT_TRANSLATE_NOOP("Sonavela", "0-3 桁目に重み（整数）がありません。");
    case RuleFileProblem::kNotBlank:
      return QT_TRANSLATE_NOOP("Sonavela", "4-8 桁目が空白ではありません。");
    case RuleFileProblem::kChainTooLong:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "度数が %2 個つながっています。規則に入るのは %3 個までです。");
    case RuleFileProblem::kUnknownSection:
      return QT_TRANSLATE_NOOP(
          "Sonavela", "見出し「%1」は知りません。[connection] か [substitution] と書きます。");
    case RuleFileProblem::kLineBeforeSection:
      return QT_TRANSLATE_NOOP(
          "Sonavela",
          "見出しより前に規則の行があります。表は [connection] か [substitution] で始めます。");
    case RuleFileProblem::kTooManyRules:
      return QT_TRANSLATE_NOOP("Sonavela", "%1規則が %2 個を超えています。");
    case RuleFileProblem::kCannotRead:
      return QT_TRANSLATE_NOOP("Sonavela", "読み込めません（%1）。");
    case RuleFileProblem::kNoRule:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "%1規則がありません。進行は一つのコードを繰り返します。");
    case RuleFileProblem::kNoRuleCanBeChosen:
      return QT_TRANSLATE_NOOP("Sonavela",
                               "選ばれうる%1規則がありません。進行は一つのコードを繰り返します。");
  }
  return nullptr;
}

}  // namespace

QString RuleFileText(const generator::RuleFileFinding& finding, const QString& file) {
  using generator::RuleFileProblem;
  const bool connection =
      finding.problem == RuleFileProblem::kConnectionLineTooShort ||
      (finding.problem != RuleFileProblem::kSubstitutionLineTooShort && finding.connection);
  const QString table = connection ? QCoreApplication::translate("Sonavela", "連結")
                                   : QCoreApplication::translate("Sonavela", "置換");
  // The header as written, or the system's own words.
  const bool hasText = finding.problem == RuleFileProblem::kUnknownSection ||
                       finding.problem == RuleFileProblem::kCannotRead;
  QString where = file;
  if (finding.line > 0) {
    where += QStringLiteral(":%1").arg(finding.line);
  }
  return where + QStringLiteral(": ") +
         QCoreApplication::translate("Sonavela", RuleFileSentence(finding.problem))
             .replace(QStringLiteral("%1"), hasText ? QString::fromStdString(finding.text) : table)
             .replace(QStringLiteral("%2"), QString::number(finding.number))
             .replace(QStringLiteral("%3"), QString::number(generator::kMaxChainDegrees));
}

}  // namespace sonavela::ui
