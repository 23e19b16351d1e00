<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
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
</context>
</TS>
