<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de_DE">
<context>
    <name>AdvTriggerBase</name>
    <message>
        <source>Select preset: %1</source>
        <translation>Voreinstellung wählen: %1</translation>
    </message>
    <message>
        <source>Error(s) on setting the preset:

%1</source>
        <translation>Fehler beim Anwenden der Voreinstellung:

%1</translation>
    </message>
    <message>
        <source>Writing %1 failed: %2</source>
        <translation>Schreiben von %1 fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Running %1 failed: %2</source>
        <translation>Ausführen von %1 fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>Reading %1 failed: %2</source>
        <translation>Lesen von %1 fehlgeschlagen: %2</translation>
    </message>
    <message>
        <source>entry %1 of %2</source>
        <translation>Eintrag %1 von %2</translation>
    </message>
    <message>
        <source>Not available on this camera, which lacks: %1</source>
        <translation>Mit dieser Kamera nicht verfügbar, ihr fehlt: %1</translation>
    </message>
    <message>
        <source>No presets loaded: %1</source>
        <translation>Keine Voreinstellungen geladen: %1</translation>
    </message>
    <message>
        <source>Presets left out: %1</source>
        <translation>Ausgelassene Voreinstellungen: %1</translation>
    </message>
    <message>
        <source>The settings that took effect stay. The preset box shows &quot;Custom&quot;.</source>
        <translation>Die übernommenen Einstellungen bleiben erhalten. Die Auswahl zeigt &quot;Custom&quot;.</translation>
    </message>
    <message>
        <source>The settings that took effect stay. The preset box shows no preset.</source>
        <translation>Die übernommenen Einstellungen bleiben erhalten. Die Auswahl zeigt keine Voreinstellung.</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is not a number: write it like %2.</source>
        <translation>&quot;%1&quot; ist keine Zahl: bitte so schreiben: %2.</translation>
    </message>
    <message>
        <source>%1 to %2</source>
        <translation>%1 bis %2</translation>
    </message>
    <message>
        <source>more than %1 up to %2</source>
        <translation>mehr als %1 bis %2</translation>
    </message>
    <message>
        <source>%1 is out of range: allowed is %2.</source>
        <translation>%1 liegt außerhalb des Bereichs: erlaubt ist %2.</translation>
    </message>
    <message>
        <source>%1: %2 Nothing was written.</source>
        <translation>%1: %2 Es wurde nichts geschrieben.</translation>
    </message>
    <message>
        <source>Allowed: %1 to %2. A number beyond is set to the limit.</source>
        <translation>Erlaubt: %1 bis %2. Eine Zahl darüber hinaus wird auf die Grenze gesetzt.</translation>
    </message>
    <message>
        <source>%1: %2 is above the maximum; set to %3.</source>
        <translation>%1: %2 liegt über dem Maximum; auf %3 gesetzt.</translation>
    </message>
    <message>
        <source>%1: %2 is below the minimum; set to %3.</source>
        <translation>%1: %2 liegt unter dem Minimum; auf %3 gesetzt.</translation>
    </message>
    <message>
        <source>The camera refused %1 (code %2).</source>
        <translation>Die Kamera hat %1 abgelehnt (Code %2).</translation>
    </message>
    <message>
        <source>The camera has no command %1.</source>
        <translation>Die Kamera hat keinen Befehl %1.</translation>
    </message>
    <message>
        <source>Software trigger sent.</source>
        <translation>Software-Trigger gesendet.</translation>
    </message>
    <message>
        <source>Software trigger sent to %1.</source>
        <translation>Software-Trigger an %1 gesendet.</translation>
    </message>
    <message>
        <source>Software signal sent.</source>
        <translation>Software-Signal gesendet.</translation>
    </message>
    <message>
        <source>Software signal %1 sent.</source>
        <translation>Software-Signal %1 gesendet.</translation>
    </message>
    <message>
        <source>Timestamp latched: %1.</source>
        <translation>Zeitstempel festgehalten: %1.</translation>
    </message>
    <message>
        <source>Timestamp latched.</source>
        <translation>Zeitstempel festgehalten.</translation>
    </message>
    <message>
        <source>%1 reset.</source>
        <translation>%1 zurückgesetzt.</translation>
    </message>
    <message>
        <source>%1 sent to the camera.</source>
        <translation>%1 an die Kamera gesendet.</translation>
    </message>
    <message>
        <source>Preset &apos;%1&apos; applied.</source>
        <translation>Voreinstellung &apos;%1&apos; angewendet.</translation>
    </message>
    <message>
        <source>Preset &apos;%1&apos; applied with 1 failure.</source>
        <translation>Voreinstellung &apos;%1&apos; mit 1 Fehler angewendet.</translation>
    </message>
    <message>
        <source>Preset &apos;%1&apos; applied with %2 failures.</source>
        <translation>Voreinstellung &apos;%1&apos; mit %2 Fehlern angewendet.</translation>
    </message>
</context>
<context>
    <name>AdvTriggerDialog</name>
    <message>
        <source>Advanced Trigger IO</source>
        <translation>Erweiterte Trigger-E/A</translation>
    </message>
    <message>
        <source>Full Trigger configuration only if camera is not acquiring!</source>
        <translation>Volle Trigger-Konfiguration nur, solange die Kamera nicht aufnimmt!</translation>
    </message>
    <message>
        <source>1. Select Preset:</source>
        <translation>1. Voreinstellung wählen:</translation>
    </message>
    <message>
        <source>Tooltips on:</source>
        <translation>Tooltips an:</translation>
    </message>
    <message>
        <source>2. Configure trigger input sources:</source>
        <translation>2. Trigger-Eingangsquellen konfigurieren:</translation>
    </message>
    <message>
        <source>Source:</source>
        <translation>Quelle:</translation>
    </message>
    <message>
        <source>Activation:</source>
        <translation>Aktivierung:</translation>
    </message>
    <message>
        <source>Selector:</source>
        <translation>Auswahl:</translation>
    </message>
    <message>
        <source>Mode:</source>
        <translation>Modus:</translation>
    </message>
    <message>
        <source>Delay (µs):</source>
        <translation>Verzögerung (µs):</translation>
    </message>
    <message>
        <source>Execute SW Trigger</source>
        <translation>SW-Trigger auslösen</translation>
    </message>
    <message>
        <source>3. Configure inputs and outputs:</source>
        <translation>3. Ein- und Ausgänge konfigurieren:</translation>
    </message>
    <message>
        <source>I/O Mode</source>
        <translation>E/A-Modus</translation>
    </message>
    <message>
        <source>LineMode</source>
        <translation>LineMode</translation>
    </message>
    <message>
        <source>Invert</source>
        <translation>Invertieren</translation>
    </message>
    <message>
        <source>LineInverter</source>
        <translation>LineInverter</translation>
    </message>
    <message>
        <source>I/O Line Source</source>
        <translation>E/A-Leitungsquelle</translation>
    </message>
    <message>
        <source>LineSource</source>
        <translation>LineSource</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>LineStatus</source>
        <translation>LineStatus</translation>
    </message>
    <message>
        <source>Debounce
Mode</source>
        <translation>Entprell-
modus</translation>
    </message>
    <message>
        <source>LineDebounceMode</source>
        <translation>LineDebounceMode</translation>
    </message>
    <message>
        <source>Debounce
Duration (µs)</source>
        <translation>Entprell-
dauer (µs)</translation>
    </message>
    <message>
        <source>LineDebounceDuration</source>
        <translation>LineDebounceDuration</translation>
    </message>
    <message>
        <source>4. Configure acquisition mode and exposure mode:</source>
        <translation>4. Aufnahme- und Belichtungsmodus konfigurieren:</translation>
    </message>
    <message>
        <source>Acquisition Mode:</source>
        <translation>Aufnahmemodus:</translation>
    </message>
    <message>
        <source>Frame Count:</source>
        <translation>Bildanzahl:</translation>
    </message>
    <message>
        <source>Exposure Mode:</source>
        <translation>Belichtungsmodus:</translation>
    </message>
    <message>
        <source>Configure Action Command:</source>
        <translation>Action Command konfigurieren:</translation>
    </message>
    <message>
        <source>Action Control features are not available in the camera.</source>
        <translation>Die Kamera bietet keine Action-Command-Funktionen.</translation>
    </message>
    <message>
        <source>Device Key (write-only):</source>
        <translation>Geräteschlüssel (nur schreibbar):</translation>
    </message>
    <message>
        <source>Action Selector:</source>
        <translation>Action-Auswahl:</translation>
    </message>
    <message>
        <source>Group Key:</source>
        <translation>Gruppenschlüssel:</translation>
    </message>
    <message>
        <source>Queue Size:</source>
        <translation>Warteschlangengröße:</translation>
    </message>
    <message>
        <source>Group Mask:</source>
        <translation>Gruppenmaske:</translation>
    </message>
    <message>
        <source>PTP Enable</source>
        <translation>PTP aktivieren</translation>
    </message>
    <message>
        <source>PTP Clock Accuracy:</source>
        <translation>PTP-Uhrgenauigkeit:</translation>
    </message>
    <message>
        <source>PTP Operation Mode:</source>
        <translation>PTP-Betriebsmodus:</translation>
    </message>
    <message>
        <source>PTP Clock ID:</source>
        <translation>PTP-Uhr-ID:</translation>
    </message>
    <message>
        <source>PTP Offset from master: </source>
        <translation>PTP-Abweichung vom Master: </translation>
    </message>
    <message>
        <source>PTP Grandmaster Clock ID:</source>
        <translation>PTP-Grandmaster-Uhr-ID:</translation>
    </message>
    <message>
        <source>PTP Servo Status:</source>
        <translation>PTP-Servostatus:</translation>
    </message>
    <message>
        <source>PTP ParentClock ID:</source>
        <translation>PTP-Eltern-Uhr-ID:</translation>
    </message>
    <message>
        <source>PTP Status:</source>
        <translation>PTP-Status:</translation>
    </message>
    <message>
        <source>PTP Data Set Latch</source>
        <translation>PTP-Daten festhalten</translation>
    </message>
    <message>
        <source>Timestamp Latch Value:</source>
        <translation>Festgehaltener Zeitstempel:</translation>
    </message>
    <message>
        <source>Timestamp Latch</source>
        <translation>Zeitstempel festhalten</translation>
    </message>
    <message>
        <source>Configure Software Signal:</source>
        <translation>Softwaresignal konfigurieren:</translation>
    </message>
    <message>
        <source>Software Signal Control features are not available in the camera.</source>
        <translation>Die Kamera bietet keine Softwaresignal-Funktionen.</translation>
    </message>
    <message>
        <source>Signal Selector:</source>
        <translation>Signalauswahl:</translation>
    </message>
    <message>
        <source>Execute Signal Pulse</source>
        <translation>Signalpuls auslösen</translation>
    </message>
    <message>
        <source>Configure Counter and Timer:</source>
        <translation>Zähler und Timer konfigurieren:</translation>
    </message>
    <message>
        <source>Counter and Timer features are not available in the camera.</source>
        <translation>Die Kamera bietet keine Zähler- und Timer-Funktionen.</translation>
    </message>
    <message>
        <source>Counter</source>
        <translation>Zähler</translation>
    </message>
    <message>
        <source>Event Source:</source>
        <translation>Ereignisquelle:</translation>
    </message>
    <message>
        <source>Duration:</source>
        <translation>Dauer:</translation>
    </message>
    <message>
        <source>Value:</source>
        <translation>Wert:</translation>
    </message>
    <message>
        <source>Optional</source>
        <translation>Optional</translation>
    </message>
    <message>
        <source>Trigger Source:</source>
        <translation>Triggerquelle:</translation>
    </message>
    <message>
        <source>Reset Source:</source>
        <translation>Rücksetzquelle:</translation>
    </message>
    <message>
        <source>T. Activation:</source>
        <translation>T.-Aktivierung:</translation>
    </message>
    <message>
        <source>R. Activation:</source>
        <translation>R.-Aktivierung:</translation>
    </message>
    <message>
        <source>Counter Status:</source>
        <translation>Zählerstatus:</translation>
    </message>
    <message>
        <source>Counter Value at Reset:</source>
        <translation>Zählerstand beim Rücksetzen:</translation>
    </message>
    <message>
        <source>Execute Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Timer</source>
        <translation>Timer</translation>
    </message>
    <message>
        <source>Duration (µs):</source>
        <translation>Dauer (µs):</translation>
    </message>
    <message>
        <source>PWM:</source>
        <translation>PWM:</translation>
    </message>
    <message>
        <source>Frequency (Hz):</source>
        <translation>Frequenz (Hz):</translation>
    </message>
    <message>
        <source>Duty Cycle (%):</source>
        <translation>Tastverhältnis (%):</translation>
    </message>
    <message>
        <source>Timer Status:</source>
        <translation>Timerstatus:</translation>
    </message>
    <message>
        <source>Trigger Features Status:</source>
        <translation>Status der Trigger-Funktionen:</translation>
    </message>
</context>
<context>
    <name>AdvTriggerWidget</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>Advanced Trigger IO</source>
        <translation>Erweiterte Trigger-E/A</translation>
    </message>
    <message>
        <source>Full Trigger configuration only if camera is not acquiring!</source>
        <translation>Volle Trigger-Konfiguration nur, solange die Kamera nicht aufnimmt!</translation>
    </message>
    <message>
        <source>Select Preset:</source>
        <translation>Voreinstellung wählen:</translation>
    </message>
    <message>
        <source>Tooltips on:</source>
        <translation>Tooltips an:</translation>
    </message>
    <message>
        <source>Configure Trigger:</source>
        <translation>Trigger konfigurieren:</translation>
    </message>
    <message>
        <source>Mode:</source>
        <translation>Modus:</translation>
    </message>
    <message>
        <source>Source:</source>
        <translation>Quelle:</translation>
    </message>
    <message>
        <source>Execute SW Trigger</source>
        <translation>SW-Trigger auslösen</translation>
    </message>
    <message>
        <source>Delay (µs):</source>
        <translation>Verzögerung (µs):</translation>
    </message>
    <message>
        <source>Activation:</source>
        <translation>Aktivierung:</translation>
    </message>
    <message>
        <source>Selector:</source>
        <translation>Auswahl:</translation>
    </message>
    <message>
        <source>Configure Advanced Trigger Features:</source>
        <translation>Erweiterte Trigger-Funktionen konfigurieren:</translation>
    </message>
    <message>
        <source>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;right&quot;&gt;Acquisition Mode, Action Command,&lt;/p&gt;&lt;p align=&quot;right&quot;&gt;Counters and Timers:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</source>
        <translation>&lt;html&gt;&lt;head/&gt;&lt;body&gt;&lt;p align=&quot;right&quot;&gt;Aufnahmemodus, Action Command,&lt;/p&gt;&lt;p align=&quot;right&quot;&gt;Zähler und Timer:&lt;/p&gt;&lt;/body&gt;&lt;/html&gt;</translation>
    </message>
    <message>
        <source>Open dialog</source>
        <translation>Dialog öffnen</translation>
    </message>
    <message>
        <source>Configure inputs and outputs:</source>
        <translation>Ein- und Ausgänge konfigurieren:</translation>
    </message>
    <message>
        <source>I/O Mode</source>
        <translation>E/A-Modus</translation>
    </message>
    <message>
        <source>LineMode</source>
        <translation>LineMode</translation>
    </message>
    <message>
        <source>Invert</source>
        <translation>Invertieren</translation>
    </message>
    <message>
        <source>LineInverter</source>
        <translation>LineInverter</translation>
    </message>
    <message>
        <source>I/O Line Source</source>
        <translation>E/A-Leitungsquelle</translation>
    </message>
    <message>
        <source>LineSource</source>
        <translation>LineSource</translation>
    </message>
    <message>
        <source>Status</source>
        <translation>Status</translation>
    </message>
    <message>
        <source>LineStatus</source>
        <translation>LineStatus</translation>
    </message>
    <message>
        <source>Show Trigger Features Status:</source>
        <translation>Status der Trigger-Funktionen anzeigen:</translation>
    </message>
    <message>
        <source>Trigger IO</source>
        <translation>Trigger-E/A</translation>
    </message>
    <message>
        <source>The camera does not tell its vendor now (DeviceVendorName cannot be read), so the advanced dialog cannot check it.</source>
        <translation>Die Kamera nennt ihren Hersteller gerade nicht (DeviceVendorName ist nicht lesbar), daher kann der erweiterte Dialog sie nicht prüfen.</translation>
    </message>
    <message>
        <source>The advanced dialog could not be opened.</source>
        <translation>Der erweiterte Dialog konnte nicht geöffnet werden.</translation>
    </message>
</context>
<context>
    <name>BaseTabPluginWidget</name>
    <message>
        <source>Vendor not supported for plugins, widget not created.</source>
        <translation>Hersteller wird von den Plug-ins nicht unterstützt, keine Seite erstellt.</translation>
    </message>
</context>
<context>
    <name>FeatureInformation</name>
    <message>
        <source>Feature Description:</source>
        <translation>Beschreibung des Merkmals:</translation>
    </message>
    <message>
        <source>Feature Name:</source>
        <translation>Name des Merkmals:</translation>
    </message>
    <message>
        <source>Visibility:</source>
        <translation>Sichtbarkeit:</translation>
    </message>
    <message>
        <source>Type:</source>
        <translation>Typ:</translation>
    </message>
    <message>
        <source>Minimum:</source>
        <translation>Minimum:</translation>
    </message>
    <message>
        <source>Maximum:</source>
        <translation>Maximum:</translation>
    </message>
    <message>
        <source>Interval:</source>
        <translation>Schrittweite:</translation>
    </message>
    <message>
        <source>Category:</source>
        <translation>Kategorie:</translation>
    </message>
</context>
<context>
    <name>PresetsFile</name>
    <message>
        <source>minimum</source>
        <translation>Minimum</translation>
    </message>
    <message>
        <source>maximum</source>
        <translation>Maximum</translation>
    </message>
    <message>
        <source>%1: cannot be read: %2</source>
        <translation>%1: nicht lesbar: %2</translation>
    </message>
    <message>
        <source>%1: the file holds no JSON object</source>
        <translation>%1: die Datei enthält kein JSON-Objekt</translation>
    </message>
    <message>
        <source>%1: no &quot;#presets&quot; list</source>
        <translation>%1: keine &quot;#presets&quot;-Liste</translation>
    </message>
    <message>
        <source>&quot;%1&quot; is listed in &quot;#presets&quot; but has no object of that name</source>
        <translation>&quot;%1&quot; steht in &quot;#presets&quot;, aber ein Objekt dieses Namens fehlt</translation>
    </message>
</context>
<context>
    <name>QObject</name>
    <message>
        <source>Execute</source>
        <translation>Ausführen</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Einstellungen</translation>
    </message>
</context>
<context>
    <name>SettingsTreeModel</name>
    <message>
        <source>Counter</source>
        <translation>Zähler</translation>
    </message>
    <message>
        <source>Timer</source>
        <translation>Timer</translation>
    </message>
    <message>
        <source>Trigger</source>
        <translation>Trigger</translation>
    </message>
    <message>
        <source>inactive</source>
        <translation>inaktiv</translation>
    </message>
</context>
<context>
    <name>TabExtensionPlugin</name>
    <message>
        <source>Please use the Advanced Trigger Dialog.</source>
        <translation>Bitte den Dialog für erweiterte Trigger verwenden.</translation>
    </message>
    <message>
        <source>This plug-in supports cameras of vendor %1; this camera reports %2.</source>
        <translation>Dieses Plug-in unterstützt Kameras des Herstellers %1; diese Kamera meldet %2.</translation>
    </message>
    <message>
        <source>no vendor</source>
        <translation>keinen Hersteller</translation>
    </message>
    <message>
        <source>This camera has no %1 feature.</source>
        <translation>Diese Kamera hat kein Feature %1.</translation>
    </message>
    <message>
        <source>This camera could not be read.</source>
        <translation>Diese Kamera konnte nicht gelesen werden.</translation>
    </message>
</context>
</TS>
