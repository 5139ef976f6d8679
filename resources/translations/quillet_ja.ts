<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ja_JP">
<context>
    <name>Form1</name>
    <message>
        <source>Website</source>
        <translation>Web サイト</translation>
    </message>
    <message>
        <source>Associate with .flv files</source>
        <translation>.flv ファイルに関連付ける</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>開く</translation>
    </message>
    <message>
        <source>Banner</source>
        <translation>バナー</translation>
    </message>
</context>
<context>
    <name>quillet::Messages</name>
    <message>
        <source>You need to have installed Flash Player prior to running this software. Do you want to download it now?</source>
        <translation>このソフトウェアを実行するには Flash Player をインストールしておく必要があります。今すぐダウンロードしますか?</translation>
    </message>
    <message>
        <source>You need to have installed Flash Player version 8 or higher prior to running this software. Do you want to download it now?</source>
        <translation>このソフトウェアを実行するには Flash Player バージョン 8 以降をインストールしておく必要があります。今すぐダウンロードしますか?</translation>
    </message>
</context>
<context>
    <name>quillet::OpenDialog</name>
    <message>
        <source>Select file to open</source>
        <translation>開くファイルを選択</translation>
    </message>
    <message>
        <source>Flash video files (*.flv)</source>
        <translation>Flash ビデオ ファイル (*.flv)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>すべてのファイル (*.*)</translation>
    </message>
</context>
<context>
    <name>quillet::player::FlashPlayerWidget</name>
    <message>
        <source>Speed %1×</source>
        <extracomment>The playback speed, shown briefly over the picture: &quot;Speed 1.5×&quot;.</extracomment>
        <translation>速度 %1×</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <extracomment>A screenshot was saved under this file name.</extracomment>
        <translation>%1 を保存しました</translation>
    </message>
    <message>
        <source>Cannot save the picture in %1</source>
        <extracomment>The screenshot could not be written into this folder.</extracomment>
        <translation>%1 に画像を保存できません</translation>
    </message>
    <message>
        <source>Picture copied</source>
        <extracomment>A screenshot was put on the clipboard.</extracomment>
        <translation>画像をコピーしました</translation>
    </message>
    <message>
        <source>Continue from %1 (Enter)</source>
        <extracomment>Over the picture of a video opened again: Enter goes on from where it was left (&quot;Continue from 12:34 (Enter)&quot;).</extracomment>
        <translation>%1 から続ける (Enter)</translation>
    </message>
    <message>
        <source>Video not found</source>
        <translation>ビデオが見つかりません</translation>
    </message>
    <message>
        <source>This file holds no video or sound that can be played.</source>
        <translation>このファイルには再生できる映像も音声もありません。</translation>
    </message>
</context>
<context>
    <name>quillet::player::PlayerAccessible</name>
    <message>
        <source>Pause</source>
        <translation>一時停止</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>再生</translation>
    </message>
    <message>
        <source>Seek</source>
        <translation>再生位置</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>ミュート</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>音量</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>全画面表示を終了</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>全画面表示</translation>
    </message>
    <message>
        <source>%1% loaded</source>
        <translation>%1% 読み込み済み</translation>
    </message>
    <message>
        <source>Elapsed time</source>
        <translation>経過時間</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>The seek slider&apos;s value as read aloud: the position, then the length.</extracomment>
        <translation>%1 / %2</translation>
    </message>
    <message>
        <source>No video</source>
        <translation>ビデオなし</translation>
    </message>
    <message>
        <source>%1, pointer at %2</source>
        <extracomment>The seek slider&apos;s description while the pointer is over it: how much is loaded, then the time under the pointer (&quot;1:23&quot;).</extracomment>
        <translation>%1、ポインター位置 %2</translation>
    </message>
</context>
</TS>
