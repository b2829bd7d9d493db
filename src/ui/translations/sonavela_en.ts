<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="ja">
<context>
    <name>Sonavela</name>
    <message>
        <source>ＭＩＤＩデータ出力先</source>
        <translation>MIDI output</translation>
    </message>
    <message>
        <source>コード連結規則表</source>
        <translation>Connection rules</translation>
    </message>
    <message>
        <source>重み</source>
        <translation>Wt.</translation>
    </message>
    <message>
        <source>旋法,度数連結,補正</source>
        <translation>Mode,chain,fix</translation>
    </message>
    <message>
        <source>更新／追加</source>
        <translation>Set/Add</translation>
    </message>
    <message>
        <source>削除</source>
        <translation>Delete</translation>
    </message>
    <message>
        <source>コード読替え規則表</source>
        <translation>Substitution rules</translation>
    </message>
    <message>
        <source>旋法,度数読替え</source>
        <translation>Mode,from,to</translation>
    </message>
    <message>
        <source>開始</source>
        <translation>Start</translation>
    </message>
    <message>
        <source>停止</source>
        <translation>Stop</translation>
    </message>
    <message>
        <source>生成結果</source>
        <translation>Result</translation>
    </message>
    <message>
        <source>調</source>
        <translation>Key</translation>
    </message>
    <message>
        <source>コード</source>
        <translation>Chord</translation>
    </message>
    <message>
        <source>旋法指定法） 長調:｢ ｣, 短調:｢m｣, 両方:｢?｣</source>
        <translation>Mode: major &quot; &quot;, minor &quot;m&quot;, both &quot;?&quot;</translation>
    </message>
    <message>
        <source>補正指定法） ﾒｼﾞｬｰｺｰﾄﾞ化:｢M｣, ﾏｲﾅｰｺｰﾄﾞ化:｢m｣, ﾅﾎﾟﾘのⅡ化:｢n｣, 補正なし:｢｣</source>
        <translation>Fix: to major &quot;M&quot;, to minor &quot;m&quot;, Neapolitan II &quot;n&quot;, none &quot;&quot;</translation>
    </message>
    <message>
        <source>短調</source>
        <translation>Minor</translation>
    </message>
    <message>
        <source>楽器番号</source>
        <translation>Program</translation>
    </message>
    <message>
        <source>コード進行自動生成</source>
        <translation>Chord progression generator</translation>
    </message>
    <message>
        <source>Sonavelaのﾊﾞｰｼﾞｮﾝ情報</source>
        <translation>About Sonavela</translation>
    </message>
    <message>
        <source>&lt;span style=&apos;color:%1&apos;&gt;◎&lt;/span&gt; 主調&#x3000;&lt;span style=&apos;color:%2&apos;&gt;●&lt;/span&gt; 今の調&#x3000;&lt;span style=&apos;color:%3&apos;&gt;→&lt;/span&gt; 主調を離れてからの道筋</source>
        <translation>&lt;span style=&apos;color:%1&apos;&gt;◎&lt;/span&gt; Home key  &lt;span style=&apos;color:%2&apos;&gt;●&lt;/span&gt; Current key  &lt;span style=&apos;color:%3&apos;&gt;→&lt;/span&gt; The way since leaving home</translation>
    </message>
    <message>
        <source>主調 %1 にいます</source>
        <translation>At home in %1</translation>
    </message>
    <message>
        <source>%1 を %2 の %3 から %4 の %5 と読み替え</source>
        <translation>%1 re-read from %3 in %2 as %5 in %4</translation>
    </message>
    <message>
        <source>解説</source>
        <translation>Explanation</translation>
    </message>
    <message>
        <source>調:</source>
        <translation>Key:</translation>
    </message>
    <message>
        <source>和音:</source>
        <translation>Chord:</translation>
    </message>
    <message>
        <source>転調:</source>
        <translation>Pivot:</translation>
    </message>
    <message>
        <source>主調から:</source>
        <translation>From home:</translation>
    </message>
    <message>
        <source>開始すると、和音の働きがここに出ます</source>
        <translation>Press Start to see what each chord does</translation>
    </message>
    <message>
        <source>まだありません</source>
        <translation>None yet</translation>
    </message>
    <message>
        <source>続く規則がないので、停止までこの和音を繰り返します</source>
        <translation>No rule continues from here: this chord repeats until Stop</translation>
    </message>
    <message>
        <source>規則表を開く</source>
        <translation>Open rule tables</translation>
    </message>
    <message>
        <source>規則表 (*.txt *.rules);;すべてのファイル (*)</source>
        <translation>Rule tables (*.txt *.rules);;All files (*)</translation>
    </message>
    <message>
        <source>規則表を保存</source>
        <translation>Save rule tables</translation>
    </message>
    <message>
        <source>ＭＩＤＩデータ出力先が使えなくなりました。</source>
        <translation>The MIDI output stopped working.</translation>
    </message>
    <message>
        <source>
演奏は音を出さずに続きます。ほかの出力先を選ぶと、そこで鳴り続けます。</source>
        <translation>
The progression goes on silently. Pick another output to hear it there.</translation>
    </message>
    <message>
        <source>保存する演奏がありません。</source>
        <translation>Nothing has been played to save.</translation>
    </message>
    <message>
        <source>「開始」で演奏を始めると、それから演奏したコード進行をMIDIファイルに保存できます。</source>
        <translation>Press Start to play; what is played from then on can be saved as a MIDI file.</translation>
    </message>
    <message>
        <source>MIDIファイルに保存</source>
        <translation>Save as MIDI file</translation>
    </message>
    <message>
        <source>MIDIファイルを保存できませんでした。</source>
        <translation>The MIDI file could not be saved.</translation>
    </message>
    <message>
        <source>ほかに%1件の問題があります。</source>
        <translation>%1 more problems.</translation>
    </message>
    <message>
        <source>規則表を読み込めませんでした。規則の一覧は変わっていません。</source>
        <translation>The rule tables could not be read. The rule lists are unchanged.</translation>
    </message>
    <message>
        <source>規則表を保存できませんでした。</source>
        <translation>The rule tables could not be saved.</translation>
    </message>
    <message>
        <source>同期の設定を使えません。</source>
        <translation>The sync settings cannot be used.</translation>
    </message>
    <message>
        <source>最小化(&amp;N)</source>
        <translation>Mi&amp;nimize</translation>
    </message>
    <message>
        <source>閉じる(&amp;C)	Alt+F4</source>
        <translation>&amp;Close	Alt+F4</translation>
    </message>
    <message>
        <source>MIDIファイルに保存(&amp;M)...</source>
        <translation>Save as &amp;MIDI file...</translation>
    </message>
    <message>
        <source>規則表を開く(&amp;O)...</source>
        <translation>&amp;Open rule tables...</translation>
    </message>
    <message>
        <source>規則表を保存(&amp;S)...</source>
        <translation>&amp;Save rule tables...</translation>
    </message>
    <message>
        <source>音色と声部(&amp;V)...</source>
        <translation>Sound and &amp;voices...</translation>
    </message>
    <message>
        <source>テンポと同期(&amp;T)...</source>
        <translation>&amp;Tempo and sync...</translation>
    </message>
    <message>
        <source>解説を表示(&amp;E)</source>
        <translation>Show &amp;explanation</translation>
    </message>
    <message>
        <source>Sonavela のﾊﾞｰｼﾞｮﾝ情報(&amp;A)...</source>
        <translation>&amp;About Sonavela...</translation>
    </message>
    <message>
        <source>翻訳が見つかりません。</source>
        <translation>A translation is missing.</translation>
    </message>
    <message>
        <source>一部の文字は書かれたままの言葉で表示されます。</source>
        <translation>Some texts are shown in the language they are written in.</translation>
    </message>
    <message>
        <source>規則の文字列が短すぎます</source>
        <translation>The rule text is too short</translation>
    </message>
    <message>
        <source>これ以上規則を追加できません</source>
        <translation>No more rules can be added</translation>
    </message>
    <message>
        <source>1つの表に登録できる規則は%1個までです。</source>
        <translation>A table holds at most %1 rules.</translation>
    </message>
    <message>
        <source>調 %1 の %2 (%3)</source>
        <translation>%2 (%3) in %1</translation>
    </message>
    <message>
        <source>短すぎて規則になりません。この行は読み飛ばされます。</source>
        <translation>Too short to be a rule. This line is skipped.</translation>
    </message>
    <message>
        <source>規則表の最初の 1000 規則を超えています。無視されます。</source>
        <translation>Beyond the first 1000 rules of the table. It is ignored.</translation>
    </message>
    <message>
        <source>モード %1 はどの調にも当てはまりません (長調は空白、短調は m、両方は ?)。</source>
        <translation>The mode %1 fits no key (a blank for major, m for minor, ? for both).</translation>
    </message>
    <message>
        <source>重みが 0 なので選ばれません。</source>
        <translation>Its weight is 0, so it is never chosen.</translation>
    </message>
    <message>
        <source>%1 は変更の文字ではありません (M 長三和音、m 短三和音、n ナポリ)。</source>
        <translation>%1 is no correction (M major triad, m minor triad, n Neapolitan).</translation>
    </message>
    <message>
        <source>%1 は度数ではありません (1〜7)。</source>
        <translation>%1 is no degree (1 to 7).</translation>
    </message>
    <message>
        <source>連結には度数が二つ以上要ります。</source>
        <translation>A chain needs two degrees or more.</translation>
    </message>
    <message>
        <source>%1 で終わります。そこから続く読替え規則がないので、停止まで同じ和音を繰り返します。</source>
        <translation>Ends on %1, which no substitution rule continues from: the chord repeats until Stop.</translation>
    </message>
    <message>
        <source>%1 の主和音から先へ進む規則がありません。停止まで同じ和音を繰り返します。</source>
        <translation>No rule leads on from the tonic of %1: the chord repeats until Stop.</translation>
    </message>
    <message>
        <source>%1 で、一度の選択の重みの合計が %2 になり、2147483647 を超えます。</source>
        <translation>At %1 the weights of one choice add up to %2, beyond 2147483647.</translation>
    </message>
    <message>
        <source>主調 %1 からは使われません。</source>
        <translation>Never reached from the home key %1.</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>注</source>
        <translation>Note</translation>
    </message>
    <message>
        <source> %1 行目 %2</source>
        <translation>, line %1: %2</translation>
    </message>
    <message>
        <source>規則表に %1 件の警告があります。演奏はそのまま続きます。</source>
        <translation>The rule tables have %1 warnings. The progression plays on.</translation>
    </message>
    <message>
        <source>全音域 (3 オクターブ)</source>
        <translation>Full (3 octaves)</translation>
    </message>
    <message>
        <source>密集配置 (声部進行)</source>
        <translation>Close (voice leading)</translation>
    </message>
    <message>
        <source>開離配置 (声部進行)</source>
        <translation>Open (voice leading)</translation>
    </message>
    <message>
        <source>ベースと三和音</source>
        <translation>Bass and triad</translation>
    </message>
    <message>
        <source>ブロック (全音同時)</source>
        <translation>Block (all at once)</translation>
    </message>
    <message>
        <source>アルペジオ (上行)</source>
        <translation>Arpeggio (up)</translation>
    </message>
    <message>
        <source>アルペジオ (下行)</source>
        <translation>Arpeggio (down)</translation>
    </message>
    <message>
        <source>ストラム</source>
        <translation>Strum</translation>
    </message>
    <message>
        <source>拍ごとに刻む</source>
        <translation>Pulse on every beat</translation>
    </message>
    <message>
        <source>音色と声部</source>
        <translation>Sound and voices</translation>
    </message>
    <message>
        <source>主調(&amp;K):</source>
        <translation>Home &amp;key:</translation>
    </message>
    <message>
        <source>和音の配置(&amp;V):</source>
        <translation>&amp;Voicing:</translation>
    </message>
    <message>
        <source>上声部の音域(&amp;R):</source>
        <translation>Upper voices&apos; &amp;range:</translation>
    </message>
    <message>
        <source>チャンネル(&amp;C):</source>
        <translation>&amp;Channel:</translation>
    </message>
    <message>
        <source>和音と同じ</source>
        <translation>Same as the chords</translation>
    </message>
    <message>
        <source>ベースのチャンネル(&amp;B):</source>
        <translation>&amp;Bass channel:</translation>
    </message>
    <message>
        <source>ベロシティ(&amp;L):</source>
        <translation>Ve&amp;locity:</translation>
    </message>
    <message>
        <source>奏法(&amp;P):</source>
        <translation>&amp;Pattern:</translation>
    </message>
    <message>
        <source>なし</source>
        <translation>None</translation>
    </message>
    <message>
        <source>タイミングのゆらぎ(&amp;H):</source>
        <translation>&amp;Humanize:</translation>
    </message>
    <message>
        <source>キャンセル</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>標準の General MIDI SoundFont</source>
        <translation>The standard General MIDI SoundFont</translation>
    </message>
    <message>
        <source>参照(&amp;S)...</source>
        <translation>Bro&amp;wse...</translation>
    </message>
    <message>
        <source>内蔵シンセの音量(&amp;G):</source>
        <translation>Built-in synth &amp;gain:</translation>
    </message>
    <message>
        <source>リバーブ(&amp;E)</source>
        <translation>R&amp;everb</translation>
    </message>
    <message>
        <source>コーラス(&amp;O)</source>
        <translation>Ch&amp;orus</translation>
    </message>
    <message>
        <source>効果:</source>
        <translation>Effects:</translation>
    </message>
    <message>
        <source>SoundFont を開く</source>
        <translation>Open SoundFont</translation>
    </message>
    <message>
        <source>SoundFont (*.sf2 *.sf3 *.dls);;すべてのファイル (*)</source>
        <translation>SoundFont (*.sf2 *.sf3 *.dls);;All files (*)</translation>
    </message>
    <message>
        <source>内部</source>
        <translation>Internal</translation>
    </message>
    <message>
        <source>JACK トランスポート</source>
        <translation>JACK transport</translation>
    </message>
    <message>
        <source>MIDI クロック</source>
        <translation>MIDI clock</translation>
    </message>
    <message>
        <source>テンポと同期</source>
        <translation>Tempo and sync</translation>
    </message>
    <message>
        <source>テンポ(&amp;T):</source>
        <translation>&amp;Tempo:</translation>
    </message>
    <message>
        <source>コードあたりの拍数(&amp;B):</source>
        <translation>&amp;Beats per chord:</translation>
    </message>
    <message>
        <source>同期(&amp;S):</source>
        <translation>&amp;Sync:</translation>
    </message>
    <message>
        <source>クロック入力(&amp;I):</source>
        <translation>Clock &amp;input:</translation>
    </message>
    <message>
        <source>MIDI クロックを出力する(&amp;O)</source>
        <translation>Send MIDI cl&amp;ock</translation>
    </message>
    <message>
        <source>停止しています。</source>
        <translation>Stopped.</translation>
    </message>
    <message>
        <source>マスターが始めるのを待っています。</source>
        <translation>Waiting for the master to start.</translation>
    </message>
    <message>
        <source>演奏しています。</source>
        <translation>Playing.</translation>
    </message>
    <message>
        <source>演奏は続いていますが、出力先が使えず音が出ません。</source>
        <translation>Playing, but the output cannot be used: no sound.</translation>
    </message>
    <message>
        <source>マスターがいなくなりました。戻るのを待っています。</source>
        <translation>The master has gone away. Waiting for it to come back.</translation>
    </message>
    <message>
        <source>録音を書き込めなくなりました。</source>
        <translation>The recording can no longer be written.</translation>
    </message>
    <message>
        <source>
演奏は続きますが、ここからは保存できません。</source>
        <translation>
The progression plays on, but from here on it cannot be saved.</translation>
    </message>
    <message>
        <source>%2 番のＭＩＤＩデータ出力先はありません。</source>
        <translation>There is no MIDI output number %2.</translation>
    </message>
    <message>
        <source>ＭＩＤＩデータ出力先「%1」はもうありません。</source>
        <translation>The MIDI output &quot;%1&quot; is no longer available.</translation>
    </message>
    <message>
        <source>ＭＩＤＩデータ出力先「%1」を開けません。</source>
        <translation>The MIDI output &quot;%1&quot; could not be opened.</translation>
    </message>
    <message>
        <source>ＭＩＤＩデータ出力先に届かなくなりました。</source>
        <translation>The MIDI output cannot be reached any more.</translation>
    </message>
    <message>
        <source>ＭＩＤＩデータ出力先が動かなくなりました。</source>
        <translation>The MIDI output failed.</translation>
    </message>
    <message>
        <source>「%1」を作れません。</source>
        <translation>The %1 could not be created.</translation>
    </message>
    <message>
        <source>「%1」が動かなくなりました。</source>
        <translation>The %1 failed.</translation>
    </message>
    <message>
        <source>ALSA シーケンサーがありません（/dev/snd/seq がないか、使えません）。</source>
        <translation>There is no ALSA sequencer (/dev/snd/seq is missing or not accessible).</translation>
    </message>
    <message>
        <source>JACK サーバーが動いていません。</source>
        <translation>No JACK server is running.</translation>
    </message>
    <message>
        <source>JACK サーバーのプロトコルの版が違います。</source>
        <translation>The JACK server speaks another protocol version.</translation>
    </message>
    <message>
        <source>JACK サーバーの共有メモリーに届きません。</source>
        <translation>The JACK server&apos;s shared memory cannot be reached.</translation>
    </message>
    <message>
        <source>JACK サーバーがクライアントを断りました。</source>
        <translation>The JACK server refused the client.</translation>
    </message>
    <message>
        <source>JACK クライアントを動かせません。</source>
        <translation>The JACK client could not be activated.</translation>
    </message>
    <message>
        <source>JACK クライアントを用意できません。</source>
        <translation>The JACK client could not be set up.</translation>
    </message>
    <message>
        <source>JACK サーバーがクライアントを動かしません。</source>
        <translation>The JACK server does not run the client.</translation>
    </message>
    <message>
        <source>接続先はもうありません。</source>
        <translation>It is no longer available.</translation>
    </message>
    <message>
        <source>JACK がポート「%1」を断りました。</source>
        <translation>JACK refused the port &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>JACK が接続を断りました。</source>
        <translation>JACK refused to connect to it.</translation>
    </message>
    <message>
        <source>接続できません。</source>
        <translation>It could not be connected.</translation>
    </message>
    <message>
        <source>JACK サーバーがこのプログラムのクライアントを止めました（処理が遅れました）。</source>
        <translation>The JACK server stopped this program&apos;s client (it fell behind).</translation>
    </message>
    <message>
        <source>JACK サーバーが終了しました。</source>
        <translation>The JACK server has quit.</translation>
    </message>
    <message>
        <source>ＭＩＤＩ入力「%1」がなくなりました。</source>
        <translation>The MIDI input &quot;%1&quot; was removed.</translation>
    </message>
    <message>
        <source>JACK サーバーがＭＩＤＩデータを受け取らなくなりました。</source>
        <translation>The JACK server has stopped taking MIDI messages.</translation>
    </message>
    <message>
        <source>JACK サーバーが最後のＭＩＤＩデータを時間内に届けませんでした。</source>
        <translation>The JACK server did not deliver the last MIDI messages in time.</translation>
    </message>
    <message>
        <source>このプログラムは JACK なしで作られています。</source>
        <translation>This build of the program has no JACK.</translation>
    </message>
    <message>
        <source>ＭＩＤＩ入力 %1 はありません（入力は %2 個です）。</source>
        <translation>There is no MIDI input %1 (there are %2).</translation>
    </message>
    <message>
        <source>ＭＩＤＩ入力「%1」はありません。</source>
        <translation>There is no MIDI input named &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>ＭＩＤＩ入力「%1」を開けません。</source>
        <translation>The MIDI input &quot;%1&quot; could not be opened.</translation>
    </message>
    <message>
        <source>Ableton Link のセッションに加われません。</source>
        <translation>Cannot join an Ableton Link session.</translation>
    </message>
    <message>
        <source>このプログラムは外部の同期元に従えません。</source>
        <translation>This program follows no master.</translation>
    </message>
    <message>
        <source>内蔵シンセサイザーを用意できません。</source>
        <translation>The built-in synthesizer could not be set up.</translation>
    </message>
    <message>
        <source>内蔵シンセサイザーを起動できません。</source>
        <translation>The built-in synthesizer could not be started.</translation>
    </message>
    <message>
        <source>ファイル「%1」はサウンドフォント（SF2、SF3、DLS）ではありません。</source>
        <translation>The file &quot;%1&quot; is not a SoundFont (SF2, SF3 or DLS).</translation>
    </message>
    <message>
        <source>サウンドフォント「%1」を読み込めません。</source>
        <translation>The SoundFont &quot;%1&quot; could not be loaded.</translation>
    </message>
    <message>
        <source>内蔵シンセサイザーの音声出力がありません。環境変数 SONAVELA_AUDIO_DRIVER で FluidSynth の音声ドライバーを選べます。</source>
        <translation>No audio output for the built-in synthesizer. Set SONAVELA_AUDIO_DRIVER to choose a FluidSynth audio driver.</translation>
    </message>
    <message>
        <source>内蔵シンセサイザーの音声出力がなくなりました。</source>
        <translation>The built-in synthesizer lost its audio output.</translation>
    </message>
    <message>
        <source>音声ドライバー「file」は演奏せず、今のフォルダーに fluidsynth.wav を書き込みます。</source>
        <translation>The audio driver &quot;file&quot; writes fluidsynth.wav into the current folder instead of playing.</translation>
    </message>
    <message>
        <source>この FluidSynth には音声ドライバー「%1」がありません。</source>
        <translation>This FluidSynth has no audio driver &quot;%1&quot;.</translation>
    </message>
    <message>
        <source>サウンドフォント「%1」はありません。</source>
        <translation>The SoundFont &quot;%1&quot; does not exist.</translation>
    </message>
    <message>
        <source>サウンドフォント「%1」を読めません。</source>
        <translation>The SoundFont &quot;%1&quot; cannot be read.</translation>
    </message>
    <message>
        <source>サウンドフォント「%1」はファイルではなくフォルダーです。</source>
        <translation>The SoundFont &quot;%1&quot; is a folder, not a file.</translation>
    </message>
    <message>
        <source>サウンドフォント「%1」は通常のファイルではありません。</source>
        <translation>The SoundFont &quot;%1&quot; is not a regular file.</translation>
    </message>
    <message>
        <source>サウンドフォント「%1」は空です。</source>
        <translation>The SoundFont &quot;%1&quot; is empty.</translation>
    </message>
    <message>
        <source>General MIDI のサウンドフォントが見つかりません。パッケージ timgm6mb-soundfont などを入れるか、環境変数 SONAVELA_SOUNDFONT で選んでください。探したファイル:</source>
        <translation>No General MIDI SoundFont found. Install one (for example the package timgm6mb-soundfont) or set SONAVELA_SOUNDFONT. Looked for:</translation>
    </message>
    <message>
        <source>ファイル名がありません。</source>
        <translation>No file name was given.</translation>
    </message>
    <message>
        <source>フォルダーです。</source>
        <translation>It is a folder.</translation>
    </message>
    <message>
        <source>通常のファイルではありません（デバイス、FIFO、ソケットは置き換えません）。</source>
        <translation>It is not a regular file (a device, FIFO or socket is never replaced).</translation>
    </message>
    <message>
        <source>%2 MiB より大きく、規則ファイルではありません。</source>
        <translation>Larger than %2 MiB, not a rule file.</translation>
    </message>
    <message>
        <source>WAV ファイルには 4 GiB までしか入りません。</source>
        <translation>A WAV file cannot hold more than 4 GiB.</translation>
    </message>
    <message>
        <source>録音の一時ファイルが途中で切れています。</source>
        <translation>The recording&apos;s temporary file was cut short.</translation>
    </message>
    <message>
        <source>内蔵シンセサイザーは JACK で鳴らしますが、JACK に再生ポートがありません。%1:left と %1:right を接続してください。</source>
        <translation>The built-in synthesizer plays on JACK, but JACK has no playback ports: connect %1:left and %1:right yourself.</translation>
    </message>
    <message>
        <source>JACK トランスポートがなくなりました（サーバーが終了）。戻るのを待っています。</source>
        <translation>The JACK transport is gone (its server quit); waiting for it to come back.</translation>
    </message>
    <message>
        <source>JACK トランスポートが戻りました。</source>
        <translation>The JACK transport is back.</translation>
    </message>
    <message>
        <source>ＭＩＤＩ入力「%1」のデータが失われました。マスターがまた始めるのを待っています。</source>
        <translation>Messages from the MIDI input &quot;%1&quot; were lost; waiting for the master to start again.</translation>
    </message>
    <message>
        <source>ＭＩＤＩ入力「%1」がなくなりました。戻るまで和音を伸ばします。</source>
        <translation>The MIDI input &quot;%1&quot; is gone; the chord goes on until it comes back.</translation>
    </message>
    <message>
        <source>「%1」からのＭＩＤＩクロックが途絶えました。戻るまで和音を伸ばします。</source>
        <translation>The MIDI clock from &quot;%1&quot; stopped arriving; the chord goes on until it comes back.</translation>
    </message>
    <message>
        <source>ほかの Link ピアは応答しません。%3 BPM のセッションを始めます。</source>
        <translation>No other Link peer answered; leading a session at %3 BPM.</translation>
    </message>
    <message>
        <source>%2 台のピアがいる %3 BPM の Link セッションに加わりました。</source>
        <translation>Joined a Link session of %2 other peers at %3 BPM.</translation>
    </message>
    <message>
        <source>Link ピアがセッションを始めました。</source>
        <translation>A Link peer started the session.</translation>
    </message>
    <message>
        <source>Link ピアがセッションを止めました。また始まるのを待っています。</source>
        <translation>A Link peer stopped the session; waiting for it to start again.</translation>
    </message>
    <message>
        <source>規則の行に ASCII 以外の文字があります（桁はバイトで数えます）。</source>
        <translation>A rule line has a character that is not ASCII (columns are counted in bytes).</translation>
    </message>
    <message>
        <source>規則の行に制御文字があります。</source>
        <translation>A rule line has a control character.</translation>
    </message>
    <message>
        <source>%1規則の行が短すぎます。規則には %2 桁以上が要ります。</source>
        <translation>The %1 rule line is too short: a rule needs at least %2 columns.</translation>
    </message>
    <message>
        <source>0-3 桁目に重み（整数）がありません。</source>
        <translation>Columns 0-3 hold no weight (a whole number).</translation>
    </message>
    <message>
        <source>4-8 桁目が空白ではありません。</source>
        <translation>Columns 4-8 are not blank.</translation>
    </message>
    <message>
        <source>度数が %2 個つながっています。規則に入るのは %3 個までです。</source>
        <translation>A chain of %2 degrees; at most %3 fit a rule.</translation>
    </message>
    <message>
        <source>見出し「%1」は知りません。[connection] か [substitution] と書きます。</source>
        <translation>Unknown section &quot;%1&quot;; write [connection] or [substitution].</translation>
    </message>
    <message>
        <source>見出しより前に規則の行があります。表は [connection] か [substitution] で始めます。</source>
        <translation>A rule line before any section; start the table with [connection] or [substitution].</translation>
    </message>
    <message>
        <source>%1規則が %2 個を超えています。</source>
        <translation>More than %2 %1 rules.</translation>
    </message>
    <message>
        <source>読み込めません（%1）。</source>
        <translation>Cannot be read (%1).</translation>
    </message>
    <message>
        <source>%1規則がありません。進行は一つのコードを繰り返します。</source>
        <translation>No %1 rule: the progression will repeat one chord.</translation>
    </message>
    <message>
        <source>選ばれうる%1規則がありません。進行は一つのコードを繰り返します。</source>
        <translation>No %1 rule can ever be chosen: the progression will repeat one chord.</translation>
    </message>
    <message>
        <source>連結</source>
        <translation>connection</translation>
    </message>
    <message>
        <source>置換</source>
        <translation>substitution</translation>
    </message>
    <message>
        <source>%1 の装置は一覧にありません。</source>
        <translation>No %1 devices are listed.</translation>
    </message>
    <message>
        <source>ＭＩＤＩ出力装置「%1」が戻りました。また鳴らします。</source>
        <translation>The MIDI output device &quot;%1&quot; is back; it plays again.</translation>
    </message>
    <message>
        <source>次の和音の探索が間に合いませんでした。和音は遅れて鳴ります。</source>
        <translation>The search for the next chord did not finish in time; the chord sounds late.</translation>
    </message>
    <message>
        <source>MIDI ファイル「%1」を保存できません。</source>
        <translation>The MIDI file &quot;%1&quot; could not be saved.</translation>
    </message>
    <message>
        <source>規則ファイル「%1」を保存できません。</source>
        <translation>The rule file &quot;%1&quot; could not be saved.</translation>
    </message>
    <message>
        <source>ほか %1 件は詳細にあります。</source>
        <translation>%1 more in the details.</translation>
    </message>
    <message numerus="yes">
        <source>主調 %1 から %n 歩 (離れられるのはあと %2 歩まで)</source>
        <translation>
            <numerusform>%n step away from %1 (at most %2 more before it must return)</numerusform>
            <numerusform>%n steps away from %1 (at most %2 more before it must return)</numerusform>
        </translation>
    </message>
    <message>
        <source>旋法の後に度数を1つ以上書いてください。
例: ?251</source>
        <translation>Write one or more degrees after the mode.
Example: ?251</translation>
    </message>
    <message>
        <source>旋法の後に元の度数と読替え後の度数の2桁を書いてください。
例: ?15</source>
        <translation>Write the degree and the degree it is re-read as, two digits, after the mode.
Example: ?15</translation>
    </message>
    <message>
        <source>この規則ファイルでは和音が先へ進みません。今の規則表を置き換えますか?</source>
        <translation>With this rule file the chords go nowhere. Replace the rule tables with it?</translation>
    </message>
    <message>
        <source>上声部の音域の下端</source>
        <translation>Lowest note of the upper voices</translation>
    </message>
    <message>
        <source>上声部の音域の上端</source>
        <translation>Highest note of the upper voices</translation>
    </message>
</context>
</TS>
