<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="ru_RU">
<context>
    <name>Form1</name>
    <message>
        <source>Website</source>
        <translation>Веб-сайт</translation>
    </message>
    <message>
        <source>Associate with .flv files</source>
        <translation>Связать с файлами .flv</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Открыть</translation>
    </message>
    <message>
        <source>Banner</source>
        <translation>Баннер</translation>
    </message>
</context>
<context>
    <name>quillet::Messages</name>
    <message>
        <source>You need to have installed Flash Player prior to running this software. Do you want to download it now?</source>
        <translation>Для работы этой программы необходимо установить Flash Player. Загрузить его сейчас?</translation>
    </message>
    <message>
        <source>You need to have installed Flash Player version 8 or higher prior to running this software. Do you want to download it now?</source>
        <translation>Для работы этой программы необходимо установить Flash Player версии 8 или выше. Загрузить его сейчас?</translation>
    </message>
</context>
<context>
    <name>quillet::OpenDialog</name>
    <message>
        <source>Select file to open</source>
        <translation>Выберите файл для открытия</translation>
    </message>
    <message>
        <source>Flash video files (*.flv)</source>
        <translation>Видеофайлы Flash (*.flv)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>Все файлы (*.*)</translation>
    </message>
</context>
<context>
    <name>quillet::player::FlashPlayerWidget</name>
    <message>
        <source>Speed %1×</source>
        <extracomment>The playback speed, shown briefly over the picture: &quot;Speed 1.5×&quot;.</extracomment>
        <translation>Скорость %1×</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <extracomment>A screenshot was saved under this file name.</extracomment>
        <translation>Сохранено: %1</translation>
    </message>
    <message>
        <source>Cannot save the picture in %1</source>
        <extracomment>The screenshot could not be written into this folder.</extracomment>
        <translation>Не удаётся сохранить изображение в %1</translation>
    </message>
    <message>
        <source>Picture copied</source>
        <extracomment>A screenshot was put on the clipboard.</extracomment>
        <translation>Изображение скопировано</translation>
    </message>
    <message>
        <source>Continue from %1 (Enter)</source>
        <extracomment>Over the picture of a video opened again: Enter goes on from where it was left (&quot;Continue from 12:34 (Enter)&quot;).</extracomment>
        <translation>Продолжить с %1 (Enter)</translation>
    </message>
    <message>
        <source>Video not found</source>
        <translation>Видео не найдено</translation>
    </message>
    <message>
        <source>This file holds no video or sound that can be played.</source>
        <translation>В этом файле нет видео или звука, которые можно воспроизвести.</translation>
    </message>
</context>
<context>
    <name>quillet::player::PlayerAccessible</name>
    <message>
        <source>Pause</source>
        <translation>Пауза</translation>
    </message>
    <message>
        <source>Play</source>
        <translation>Воспроизвести</translation>
    </message>
    <message>
        <source>Seek</source>
        <translation>Позиция</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Без звука</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Громкость</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>Выйти из полноэкранного режима</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Во весь экран</translation>
    </message>
    <message>
        <source>%1% loaded</source>
        <translation>Загружено %1%</translation>
    </message>
    <message>
        <source>Elapsed time</source>
        <translation>Прошло времени</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>The seek slider&apos;s value as read aloud: the position, then the length.</extracomment>
        <translation>%1 из %2</translation>
    </message>
    <message>
        <source>No video</source>
        <translation>Нет видео</translation>
    </message>
    <message>
        <source>%1, pointer at %2</source>
        <extracomment>The seek slider&apos;s description while the pointer is over it: how much is loaded, then the time under the pointer (&quot;1:23&quot;).</extracomment>
        <translation>%1, указатель на %2</translation>
    </message>
</context>
</TS>
