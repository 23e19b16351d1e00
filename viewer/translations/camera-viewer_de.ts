<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>ImageView</name>
    <message>
        <source>Fit</source>
        <translation>Einpassen</translation>
    </message>
    <message>
        <source>Scale the image to the window, keeping its proportions</source>
        <translation>Bild an das Fenster anpassen, Seitenverhältnis beibehalten</translation>
    </message>
    <message>
        <source>1:1</source>
        <translation>1:1</translation>
    </message>
    <message>
        <source>One screen pixel per image pixel; drag to move the image</source>
        <translation>Ein Bildschirmpixel je Bildpixel; zum Verschieben ziehen</translation>
    </message>
    <message>
        <source>No image yet. Start acquisition to see frames.</source>
        <translation>Noch kein Bild. Starten Sie die Aufnahme, um Bilder zu sehen.</translation>
    </message>
    <message>
        <source>Pixel format not shown</source>
        <translation>Pixelformat wird nicht angezeigt</translation>
    </message>
    <message>
        <source>No image in this frame</source>
        <translation>Kein Bild in diesem Frame</translation>
    </message>
    <message>
        <source>Incomplete frame</source>
        <translation>Unvollständiges Bild</translation>
    </message>
</context>
<context>
    <name>MainWindow</name>
    <message>
        <source>Camera Viewer - %1 %2</source>
        <translation>Kamerabetrachter - %1 %2</translation>
    </message>
    <message>
        <source>Acquisition</source>
        <translation>Aufnahme</translation>
    </message>
    <message>
        <source>Start acquisition</source>
        <translation>Aufnahme starten</translation>
    </message>
    <message>
        <source>&lt;b&gt;%1&lt;/b&gt; &amp;nbsp; Model: %2 &amp;nbsp; Serial number: %3</source>
        <translation>&lt;b&gt;%1&lt;/b&gt; &amp;nbsp; Modell: %2 &amp;nbsp; Seriennummer: %3</translation>
    </message>
    <message>
        <source>Camera opened.</source>
        <translation>Kamera geöffnet.</translation>
    </message>
    <message>
        <source>&lt;b&gt;The camera stopped answering.&lt;/b&gt; Check its cable, power and network, then start the viewer again. Values shown are the last ones read.</source>
        <translation>&lt;b&gt;Die Kamera antwortet nicht mehr.&lt;/b&gt; Kabel, Stromversorgung und Netzwerk prüfen, dann den Betrachter neu starten. Die angezeigten Werte sind die zuletzt gelesenen.</translation>
    </message>
    <message>
        <source>Camera lost.</source>
        <translation>Kamera verloren.</translation>
    </message>
    <message>
        <source>not a tab plug-in</source>
        <translation>kein Tab-Plug-in</translation>
    </message>
    <message>
        <source>%1 declined this camera (code %2)</source>
        <translation>%1 lehnt diese Kamera ab (Code %2)</translation>
    </message>
    <message>
        <source>No plug-in found in %1</source>
        <translation>Kein Plug-in in %1 gefunden</translation>
    </message>
    <message>
        <source>The camera refused %1.</source>
        <translation>Die Kamera hat %1 abgelehnt.</translation>
    </message>
    <message>
        <source>Stop acquisition</source>
        <translation>Aufnahme stoppen</translation>
    </message>
    <message>
        <source>Acquiring.</source>
        <translation>Aufnahme läuft.</translation>
    </message>
    <message>
        <source>Acquisition stopped.</source>
        <translation>Aufnahme gestoppt.</translation>
    </message>
    <message>
        <source>Camera settings</source>
        <translation>Kameraeinstellungen</translation>
    </message>
    <message>
        <source>This camera delivers no images to the viewer.</source>
        <translation>Diese Kamera liefert dem Viewer keine Bilder.</translation>
    </message>
    <message>
        <source>Frames: %1</source>
        <translation>Bilder: %1</translation>
    </message>
    <message>
        <source>%1 fps</source>
        <translation>%1 fps</translation>
    </message>
    <message>
        <source>Missed triggers: %1</source>
        <translation>Verpasste Trigger: %1</translation>
    </message>
    <message>
        <source>Missed triggers: unknown</source>
        <translation>Verpasste Trigger: unbekannt</translation>
    </message>
    <message>
        <source>Incomplete: %1</source>
        <translation>Unvollständig: %1</translation>
    </message>
    <message>
        <source>Exposing</source>
        <translation>Belichtet</translation>
    </message>
    <message>
        <source>Waiting for trigger</source>
        <translation>Wartet auf Trigger</translation>
    </message>
    <message>
        <source>Acquiring</source>
        <translation>Nimmt auf</translation>
    </message>
    <message>
        <source>Idle</source>
        <translation>Bereit</translation>
    </message>
    <message>
        <source>&lt;p&gt;&lt;b&gt;%1 does not serve this camera&lt;/b&gt; (code %2).&lt;/p&gt;&lt;p&gt;%3&lt;/p&gt;</source>
        <translation>&lt;p&gt;&lt;b&gt;%1 unterstützt diese Kamera nicht&lt;/b&gt; (Code %2).&lt;/p&gt;&lt;p&gt;%3&lt;/p&gt;</translation>
    </message>
    <message>
        <source>It gave no reason.</source>
        <translation>Es wurde kein Grund genannt.</translation>
    </message>
</context>
<context>
    <name>TimelineView</name>
    <message>
        <source>period %1, high %2 (%3 %)</source>
        <translation>Periode %1, high %2 (%3 %)</translation>
    </message>
    <message>
        <source>&amp;Window:</source>
        <translation>&amp;Zeitfenster:</translation>
    </message>
    <message>
        <source>How many seconds back the strip shows</source>
        <translation>Wie viele Sekunden zurück der Streifen zeigt</translation>
    </message>
    <message>
        <source>Run</source>
        <translation>Weiter</translation>
    </message>
    <message>
        <source>Pause</source>
        <translation>Pause</translation>
    </message>
    <message>
        <source>Show the signals live again</source>
        <translation>Die Signale wieder live zeigen</translation>
    </message>
    <message>
        <source>Keep what is shown, to zoom into it and measure</source>
        <translation>Anzeige anhalten, um hineinzuzoomen und zu messen</translation>
    </message>
    <message>
        <source>Fit</source>
        <translation>Einpassen</translation>
    </message>
    <message>
        <source>Show the whole window again (zoom with the mouse wheel, drag to move)</source>
        <translation>Wieder das ganze Zeitfenster zeigen (Zoom mit dem Mausrad, Verschieben durch Ziehen)</translation>
    </message>
    <message>
        <source>The signal trace could not be read (%1).</source>
        <translation>Die Signalaufzeichnung konnte nicht gelesen werden (%1).</translation>
    </message>
    <message>
        <source>Sampled at %1 Hz: a line may have changed anywhere between two samples.</source>
        <translation>Abgetastet mit %1 Hz: eine Leitung kann sich zwischen zwei Abtastungen beliebig geändert haben.</translation>
    </message>
    <message>
        <source>Sampled levels: a line may have changed anywhere between two samples.</source>
        <translation>Abgetastete Pegel: eine Leitung kann sich zwischen zwei Abtastungen beliebig geändert haben.</translation>
    </message>
    <message>
        <source>Click two edges to measure between them; Esc clears.</source>
        <translation>Zwei Flanken anklicken, um zwischen ihnen zu messen; Esc löscht.</translation>
    </message>
    <message>
        <source>Δt %1</source>
        <translation>Δt %1</translation>
    </message>
    <message>
        <source>Cursor A placed; click again for cursor B.</source>
        <translation>Cursor A gesetzt; erneut klicken für Cursor B.</translation>
    </message>
    <message>
        <source>%1: %2</source>
        <translation>%1: %2</translation>
    </message>
    <message>
        <source>The camera lists no signals.</source>
        <translation>Die Kamera nennt keine Signale.</translation>
    </message>
    <message>
        <source>This camera offers no signal trace.</source>
        <translation>Diese Kamera bietet keine Signalaufzeichnung.</translation>
    </message>
    <message>
        <source>not recorded</source>
        <translation>nicht aufgezeichnet</translation>
    </message>
    <message>
        <source>Show this row</source>
        <translation>Diese Zeile anzeigen</translation>
    </message>
    <message>
        <source>Show all rows</source>
        <translation>Alle Zeilen anzeigen</translation>
    </message>
    <message>
        <source>Hide rows without changes</source>
        <translation>Zeilen ohne Änderungen ausblenden</translation>
    </message>
    <message>
        <source>Hides the rows that stay flat in the window read last</source>
        <translation>Blendet die Zeilen aus, die sich im zuletzt gelesenen Fenster nicht ändern</translation>
    </message>
    <message>
        <source>All rows are hidden: right-click the name column to show them.</source>
        <translation>Alle Zeilen sind ausgeblendet: Rechtsklick auf die Namensspalte zeigt sie wieder an.</translation>
    </message>
</context>
</TS>
