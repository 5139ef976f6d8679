<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr_FR">
<context>
    <name>Form1</name>
    <message>
        <source>Website</source>
        <translation>Site web</translation>
    </message>
    <message>
        <source>Associate with .flv files</source>
        <translation>Associer aux fichiers .flv</translation>
    </message>
    <message>
        <source>Open File</source>
        <translation>Ouvrir</translation>
    </message>
    <message>
        <source>Banner</source>
        <translation>Bannière</translation>
    </message>
</context>
<context>
    <name>quillet::Messages</name>
    <message>
        <source>You need to have installed Flash Player prior to running this software. Do you want to download it now?</source>
        <translation>Flash Player doit être installé avant de lancer ce logiciel. Voulez-vous le télécharger maintenant ?</translation>
    </message>
    <message>
        <source>You need to have installed Flash Player version 8 or higher prior to running this software. Do you want to download it now?</source>
        <translation>Flash Player version 8 ou ultérieure doit être installé avant de lancer ce logiciel. Voulez-vous le télécharger maintenant ?</translation>
    </message>
</context>
<context>
    <name>quillet::OpenDialog</name>
    <message>
        <source>Select file to open</source>
        <translation>Sélectionnez le fichier à ouvrir</translation>
    </message>
    <message>
        <source>Flash video files (*.flv)</source>
        <translation>Fichiers vidéo Flash (*.flv)</translation>
    </message>
    <message>
        <source>All Files (*.*)</source>
        <translation>Tous les fichiers (*.*)</translation>
    </message>
</context>
<context>
    <name>quillet::player::FlashPlayerWidget</name>
    <message>
        <source>Speed %1×</source>
        <extracomment>The playback speed, shown briefly over the picture: &quot;Speed 1.5×&quot;.</extracomment>
        <translation>Vitesse %1×</translation>
    </message>
    <message>
        <source>Saved %1</source>
        <extracomment>A screenshot was saved under this file name.</extracomment>
        <translation>Enregistré : %1</translation>
    </message>
    <message>
        <source>Cannot save the picture in %1</source>
        <extracomment>The screenshot could not be written into this folder.</extracomment>
        <translation>Impossible d’enregistrer l’image dans %1</translation>
    </message>
    <message>
        <source>Picture copied</source>
        <extracomment>A screenshot was put on the clipboard.</extracomment>
        <translation>Image copiée</translation>
    </message>
    <message>
        <source>Continue from %1 (Enter)</source>
        <extracomment>Over the picture of a video opened again: Enter goes on from where it was left (&quot;Continue from 12:34 (Enter)&quot;).</extracomment>
        <translation>Reprendre à %1 (Entrée)</translation>
    </message>
    <message>
        <source>Video not found</source>
        <translation>Vidéo introuvable</translation>
    </message>
    <message>
        <source>This file holds no video or sound that can be played.</source>
        <translation>Ce fichier ne contient ni vidéo ni son lisible.</translation>
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
        <translation>Lecture</translation>
    </message>
    <message>
        <source>Seek</source>
        <translation>Position</translation>
    </message>
    <message>
        <source>Mute</source>
        <translation>Couper le son</translation>
    </message>
    <message>
        <source>Volume</source>
        <translation>Volume</translation>
    </message>
    <message>
        <source>Leave full screen</source>
        <translation>Quitter le plein écran</translation>
    </message>
    <message>
        <source>Full screen</source>
        <translation>Plein écran</translation>
    </message>
    <message>
        <source>%1% loaded</source>
        <translation>%1 % chargé</translation>
    </message>
    <message>
        <source>Elapsed time</source>
        <translation>Temps écoulé</translation>
    </message>
    <message>
        <source>%1 of %2</source>
        <extracomment>The seek slider&apos;s value as read aloud: the position, then the length.</extracomment>
        <translation>%1 sur %2</translation>
    </message>
    <message>
        <source>No video</source>
        <translation>Aucune vidéo</translation>
    </message>
    <message>
        <source>%1, pointer at %2</source>
        <extracomment>The seek slider&apos;s description while the pointer is over it: how much is loaded, then the time under the pointer (&quot;1:23&quot;).</extracomment>
        <translation>%1, pointeur à %2</translation>
    </message>
</context>
</TS>
