<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>Form1</name>
    <message>
        <source>Website</source>
        <translation>Webseite</translation>
    </message>
    <message>
        <source>Associate with .flv files</source>
        <translation>.flv-Dateien verknüpfen</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Datei öffnen</translation>
    </message>
    <message>
        <source>Banner</source>
        <translation>Banner</translation>
    </message>
</context>
<context>
    <name>quillet::Messages</name>
    <message>
        <source>You need to have installed Flash Player prior to running this software. Do you want to download it now?</source>
        <translation>Sie müssen Flash Player installieren, bevor Sie diese Software ausführen. Möchten Sie ihn jetzt herunterladen?</translation>
    </message>
    <message>
        <source>You need to have installed Flash Player version 8 or higher prior to running this software. Do you want to download it now?</source>
        <translation>Sie müssen Flash Player ab Version 8 installieren, bevor Sie diese Software ausführen. Möchten Sie ihn jetzt herunterladen?</translation>
    </message>
</context>
<context>
    <name>quillet::OpenDialog</name>
    <message>
        <source>Select file to open</source>
        <translation>Zu öffnende Datei auswählen</translation>
    </message>
    <message>
        <source>Flash video files (*.flv)</source>
        <translation>Flash-Videodateien (*.flv)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>Alle Dateien (*.*)</translation>
    </message>
</context>
<context>
    <name>quillet::player::FlashPlayerWidget</name>
    <message>
        <source>Speed %1×</source>
        <extracomment>The playback speed, shown briefly over the picture: &quot;Speed 1.5×&quot;.</extracomment>
        <translation>Geschwindigkeit %1×</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <extracomment>A screenshot was saved under this file name.</extracomment>
        <translation>Gespeichert: %1</translation>
    </message>
    <message>
        <source>Cannot save the picture in %1</source>
        <extracomment>The screenshot could not be written into this folder.</extracomment>
        <translation>Bild kann nicht in %1 gespeichert werden</translation>
    </message>
    <message>
        <source>Picture copied</source>
        <extracomment>A screenshot was put on the clipboard.</extracomment>
        <translation>Bild kopiert</translation>
    </message>
    <message>
        <source>Continue from %1 (Enter)</source>
        <extracomment>Over the picture of a video opened again: Enter goes on from where it was left (&quot;Continue from 12:34 (Enter)&quot;).</extracomment>
        <translation>Weiter ab %1 (Eingabe)</translation>
    </message>
    <message>
        <source>Video not found</source>
        <translation>Video nicht gefunden</translation>
    </message>
    <message>
        <source>This file holds no video or sound that can be played.</source>
        <translation>Diese Datei enthält kein abspielbares Video und keinen abspielbaren Ton.</translation>
    </message>
</context>
<context>
    <name>quillet::player::PlayerAccessible</name>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Wiedergabe</translation>
    </message>
    <message>
        <source>Seek</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Stumm</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Lautstärke</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>Vollbild verlassen</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Vollbild</translation>
    </message>
    <message>
        <source>%1% loaded</source>
        <translation>%1 % geladen</translation>
    </message>
    <message>
        <source>Elapsed time</source>
        <translation>Verstrichene Zeit</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>The seek slider&apos;s value as read aloud: the position, then the length.</extracomment>
        <translation>%1 von %2</translation>
    </message>
    <message>
        <source>No video</source>
        <translation>Kein Video</translation>
    </message>
    <message>
        <source>%1, pointer at %2</source>
        <extracomment>The seek slider&apos;s description while the pointer is over it: how much is loaded, then the time under the pointer (&quot;1:23&quot;).</extracomment>
        <translation>%1, Zeiger bei %2</translation>
    </message>
</context>
</TS>
