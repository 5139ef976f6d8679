<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="pt_BR">
<context>
    <name>Form1</name>
    <message>
        <source>Website</source>
        <translation>Site</translation>
    </message>
    <message>
        <source>Associate with .flv files</source>
        <translation>Associar a arquivos .flv</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Abrir arquivo</translation>
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
        <translation>É necessário ter o Flash Player instalado antes de executar este programa. Deseja baixá-lo agora?</translation>
    </message>
    <message>
        <source>You need to have installed Flash Player version 8 or higher prior to running this software. Do you want to download it now?</source>
        <translation>É necessário ter o Flash Player versão 8 ou superior instalado antes de executar este programa. Deseja baixá-lo agora?</translation>
    </message>
</context>
<context>
    <name>quillet::OpenDialog</name>
    <message>
        <source>Select file to open</source>
        <translation>Selecione o arquivo a abrir</translation>
    </message>
    <message>
        <source>Flash video files (*.flv)</source>
        <translation>Arquivos de vídeo Flash (*.flv)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>Todos os arquivos (*.*)</translation>
    </message>
</context>
<context>
    <name>quillet::player::FlashPlayerWidget</name>
    <message>
        <source>Speed %1×</source>
        <extracomment>The playback speed, shown briefly over the picture: &quot;Speed 1.5×&quot;.</extracomment>
        <translation>Velocidade %1×</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <extracomment>A screenshot was saved under this file name.</extracomment>
        <translation>Salvo %1</translation>
    </message>
    <message>
        <source>Cannot save the picture in %1</source>
        <extracomment>The screenshot could not be written into this folder.</extracomment>
        <translation>Não é possível salvar a imagem em %1</translation>
    </message>
    <message>
        <source>Picture copied</source>
        <extracomment>A screenshot was put on the clipboard.</extracomment>
        <translation>Imagem copiada</translation>
    </message>
    <message>
        <source>Continue from %1 (Enter)</source>
        <extracomment>Over the picture of a video opened again: Enter goes on from where it was left (&quot;Continue from 12:34 (Enter)&quot;).</extracomment>
        <translation>Continuar de %1 (Enter)</translation>
    </message>
    <message>
        <source>Video not found</source>
        <translation>Vídeo não encontrado</translation>
    </message>
    <message>
        <source>This file holds no video or sound that can be played.</source>
        <translation>Este arquivo não contém vídeo nem som que possa ser reproduzido.</translation>
    </message>
</context>
<context>
    <name>quillet::player::PlayerAccessible</name>
    <message>
        <source>Pause</source>
        <translation>Pausar</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Reproduzir</translation>
    </message>
    <message>
        <source>Seek</source>
        <translation>Posição</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Silenciar</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>Sair da tela cheia</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Tela cheia</translation>
    </message>
    <message>
        <source>%1% loaded</source>
        <translation>%1% carregado</translation>
    </message>
    <message>
        <source>Elapsed time</source>
        <translation>Tempo decorrido</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>The seek slider&apos;s value as read aloud: the position, then the length.</extracomment>
        <translation>%1 de %2</translation>
    </message>
    <message>
        <source>No video</source>
        <translation>Nenhum vídeo</translation>
    </message>
    <message>
        <source>%1, pointer at %2</source>
        <extracomment>The seek slider&apos;s description while the pointer is over it: how much is loaded, then the time under the pointer (&quot;1:23&quot;).</extracomment>
        <translation>%1, ponteiro em %2</translation>
    </message>
</context>
</TS>
