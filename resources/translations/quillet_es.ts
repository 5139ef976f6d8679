<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>Form1</name>
    <message>
        <source>Website</source>
        <translation>Sitio web</translation>
    </message>
    <message>
        <source>Associate with .flv files</source>
        <translation>Asociar con archivos .flv</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Abrir archivo</translation>
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
        <translation>Necesita tener instalado Flash Player antes de ejecutar este programa. ¿Desea descargarlo ahora?</translation>
    </message>
    <message>
        <source>You need to have installed Flash Player version 8 or higher prior to running this software. Do you want to download it now?</source>
        <translation>Necesita tener instalado Flash Player versión 8 o superior antes de ejecutar este programa. ¿Desea descargarlo ahora?</translation>
    </message>
</context>
<context>
    <name>quillet::OpenDialog</name>
    <message>
        <source>Select file to open</source>
        <translation>Seleccione el archivo que desea abrir</translation>
    </message>
    <message>
        <source>Flash video files (*.flv)</source>
        <translation>Archivos de vídeo Flash (*.flv)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>Todos los archivos (*.*)</translation>
    </message>
</context>
<context>
    <name>quillet::player::FlashPlayerWidget</name>
    <message>
        <source>Speed %1×</source>
        <extracomment>The playback speed, shown briefly over the picture: &quot;Speed 1.5×&quot;.</extracomment>
        <translation>Velocidad %1×</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <extracomment>A screenshot was saved under this file name.</extracomment>
        <translation>Guardado %1</translation>
    </message>
    <message>
        <source>Cannot save the picture in %1</source>
        <extracomment>The screenshot could not be written into this folder.</extracomment>
        <translation>No se puede guardar la imagen en %1</translation>
    </message>
    <message>
        <source>Picture copied</source>
        <extracomment>A screenshot was put on the clipboard.</extracomment>
        <translation>Imagen copiada</translation>
    </message>
    <message>
        <source>Continue from %1 (Enter)</source>
        <extracomment>Over the picture of a video opened again: Enter goes on from where it was left (&quot;Continue from 12:34 (Enter)&quot;).</extracomment>
        <translation>Continuar desde %1 (Intro)</translation>
    </message>
    <message>
        <source>Video not found</source>
        <translation>No se encontró el vídeo</translation>
    </message>
    <message>
        <source>This file holds no video or sound that can be played.</source>
        <translation>Este archivo no contiene vídeo ni sonido que se pueda reproducir.</translation>
    </message>
</context>
<context>
    <name>quillet::player::PlayerAccessible</name>
    <message>
        <source>Pause</source>
        <translation>Pausa</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Reproducir</translation>
    </message>
    <message>
        <source>Seek</source>
        <translation>Posición</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Silenciar</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volumen</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>Salir de pantalla completa</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Pantalla completa</translation>
    </message>
    <message>
        <source>%1% loaded</source>
        <translation>%1% cargado</translation>
    </message>
    <message>
        <source>Elapsed time</source>
        <translation>Tiempo transcurrido</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>The seek slider&apos;s value as read aloud: the position, then the length.</extracomment>
        <translation>%1 de %2</translation>
    </message>
    <message>
        <source>No video</source>
        <translation>Sin vídeo</translation>
    </message>
    <message>
        <source>%1, pointer at %2</source>
        <extracomment>The seek slider&apos;s description while the pointer is over it: how much is loaded, then the time under the pointer (&quot;1:23&quot;).</extracomment>
        <translation>%1, puntero en %2</translation>
    </message>
</context>
</TS>
