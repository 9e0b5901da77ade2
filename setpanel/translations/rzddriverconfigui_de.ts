<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>DriversConfig</name>
    <message>
        <source>Form</source>
        <translation>Formular</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Allgemein</translation>
    </message>
    <message>
        <source>Lock settings</source>
        <translation>Einstellungen sperren</translation>
    </message>
    <message>
        <source>Select to prevent the interface options from being changed by a user.</source>
        <translation>Verhindert, dass Benutzer die Optionen der Oberfläche ändern.</translation>
    </message>
    <message>
        <source>Default preset:</source>
        <translation>Standardvorgabe:</translation>
    </message>
    <message>
        <source>Select a default preset for the TWAIN interface.</source>
        <translation>Wählen Sie die Standardvorgabe für die TWAIN-Oberfläche.</translation>
    </message>
    <message>
        <source>TWAIN driver</source>
        <translation>TWAIN-Treiber</translation>
    </message>
    <message>
        <source>Auto transfer</source>
        <translation>Automatische Übertragung</translation>
    </message>
    <message>
        <source>Scanning and transfer starts when the scanner detects media.</source>
        <translation>Scannen und Übertragung beginnen, sobald der Scanner Papier erkennt.</translation>
    </message>
    <message>
        <source>Auto close on transfer</source>
        <translation>Nach Übertragung schließen</translation>
    </message>
    <message>
        <source>The interface closes automatically when scanning is complete.</source>
        <translation>Die Oberfläche schließt sich nach dem Scannen automatisch.</translation>
    </message>
    <message>
        <source>Force UI-less</source>
        <translation>Ohne Oberfläche erzwingen</translation>
    </message>
    <message>
        <source>For use with applications that do not normally support UI-less mode.</source>
        <translation>Für Anwendungen, die den Betrieb ohne Oberfläche sonst nicht unterstützen.</translation>
    </message>
    <message>
        <source>Preset overrides capabilities</source>
        <translation>Vorgabe hat Vorrang vor Anwendung</translation>
    </message>
    <message>
        <source>The default preset will override any changes made by the calling application.</source>
        <translation>Die Standardvorgabe ersetzt alle Änderungen der aufrufenden Anwendung.</translation>
    </message>
    <message>
        <source>Fail open if scanner not present</source>
        <translation>Nicht öffnen ohne Scanner</translation>
    </message>
    <message>
        <source>Prevents the driver from opening if the scanner is not connected.</source>
        <translation>Der Treiber öffnet sich nicht, wenn der Scanner nicht angeschlossen ist.</translation>
    </message>
    <message>
        <source>Enable user compression</source>
        <translation>Komprimierung durch Benutzer</translation>
    </message>
    <message>
        <source>Allows the user to specify the type of compression used.</source>
        <translation>Der Benutzer kann die Art der Komprimierung wählen.</translation>
    </message>
    <message>
        <source>Remember compression</source>
        <translation>Komprimierung merken</translation>
    </message>
    <message>
        <source>Compression settings will be saved and loaded from presets and last used settings.</source>
        <translation>Die Komprimierung wird in Vorgaben und den zuletzt verwendeten Einstellungen gespeichert und daraus geladen.</translation>
    </message>
    <message>
        <source>Suppress TWCC_CAPSEQERROR</source>
        <translation>TWCC_CAPSEQERROR unterdrücken</translation>
    </message>
    <message>
        <source>Return default value if there is a TWCC_CAPSEQERROR error</source>
        <translation>Bei TWCC_CAPSEQERROR den Standardwert zurückgeben</translation>
    </message>
    <message>
        <source>Make TWAIN topmost UI</source>
        <translation>TWAIN-Oberfläche im Vordergrund</translation>
    </message>
    <message>
        <source>Always show the TWAIN interface in front of all other open windows. </source>
        <translation>Die TWAIN-Oberfläche immer vor allen anderen Fenstern anzeigen. </translation>
    </message>
    <message>
        <source>Suppress EnableDS failure</source>
        <translation>EnableDS-Fehler unterdrücken</translation>
    </message>
    <message>
        <source>Report success to the application when the scanner&apos;s interface cannot be enabled.</source>
        <translation>Meldet der Anwendung Erfolg, wenn die Oberfläche des Scanners nicht aktiviert werden kann.</translation>
    </message>
    <message>
        <source>WIA driver</source>
        <translation>WIA-Treiber</translation>
    </message>
    <message>
        <source>Use default WIA UI</source>
        <translation>Standard-WIA-Oberfläche</translation>
    </message>
    <message>
        <source>Use the Microsoft WIA interface instead of the scanner's custom interface.</source>
        <translation>Die WIA-Oberfläche von Microsoft statt der eigenen Oberfläche des Scanners verwenden.</translation>
    </message>
    <message>
        <source>Emulate WIA 1.0</source>
        <translation>WIA 1.0 emulieren</translation>
    </message>
    <message>
        <source>Select to display the scanner's custom interface in WIA 1.0 applications.</source>
        <translation>Zeigt die eigene Oberfläche des Scanners in WIA-1.0-Anwendungen an.</translation>
    </message>
    <message>
        <source>Default settings</source>
        <translation>Standardeinstellungen</translation>
    </message>
    <message>
        <source>Last used settings</source>
        <translation>Zuletzt verwendete Einstellungen</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel.</source>
        <translation>Diese Option kann nur geändert werden, wenn die Scannereigenschaften über die Windows-Systemsteuerung geöffnet werden.</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>Zum Ändern dieser Einstellung benötigen Sie Administratorrechte.</translation>
    </message>
    <message>
        <source>Attention!</source>
        <translation>Achtung!</translation>
    </message>
    <message>
        <source>This will change WIA driver behaviour. Do you want to continue?</source>
        <translation>Dadurch ändert sich das Verhalten des WIA-Treibers. Möchten Sie fortfahren?</translation>
    </message>
    <message>
        <source>Power cycle the scanner and click OK.</source>
        <translation>Schalten Sie den Scanner aus und wieder ein und klicken Sie auf OK.</translation>
    </message>
</context>
</TS>
