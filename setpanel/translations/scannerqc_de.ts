<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context>
    <name>CHScannerQTModule</name>
    <message>
        <source>HW IP</source>
        <translation>HW-Bildverarbeitung</translation>
    </message>
    <message>
        <source>If the scanner's firmware version is out of date, click this button to update the scanner</source>
        <translation>Wenn die Firmware des Scanners veraltet ist, klicken Sie auf diese Schaltfläche, um den Scanner zu aktualisieren</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel</source>
        <translation>Diese Option kann nur geändert werden, wenn die Scannereigenschaften über die Windows-Systemsteuerung geöffnet werden</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>Zum Ändern dieser Einstellung benötigen Sie Administratorrechte.</translation>
    </message>
    <message>
        <source>Error Occurred</source>
        <translation>Fehler aufgetreten</translation>
    </message>
    <message>
        <source>The scanner is in use by another application.</source>
        <translation>Der Scanner wird von einer anderen Anwendung verwendet.</translation>
    </message>
    <message>
        <source>No connection with device</source>
        <translation>Keine Verbindung zum Gerät</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been replaced</source>
        <translation>Setzt den Zähler nach dem Austausch der Rollen auf 0 zurück</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been cleaned</source>
        <translation>Setzt den Zähler nach dem Reinigen der Rollen auf 0 zurück</translation>
    </message>
    <message>
        <source>Reset the scan count to zero</source>
        <translation>Setzt den Zähler auf null zurück</translation>
    </message>
    <message>
        <source>Display a notification when it is time to clean or replace the rollers</source>
        <translation>Zeigt einen Hinweis an, wenn die Rollen gereinigt oder ausgetauscht werden müssen</translation>
    </message>
    <message>
        <source>You need administrative privileges to reset this counter</source>
        <translation>Zum Zurücksetzen dieses Zählers benötigen Sie Administratorrechte</translation>
    </message>
    <message>
        <source>You need administrative privileges to update scanner firmware</source>
        <translation>Zum Aktualisieren der Scanner-Firmware benötigen Sie Administratorrechte</translation>
    </message>
    <message>
        <source>After you have replaced the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>Nachdem Sie die Rollen ausgetauscht haben, klicken Sie auf die Schaltfläche „Zurücksetzen“ neben dem Zähler „%1“, um ihn auf 0 zurückzusetzen. Danach wird diese Meldung nicht mehr angezeigt.</translation>
    </message>
    <message>
        <source>The rollers need to be replaced</source>
        <translation>Die Rollen müssen ausgetauscht werden</translation>
    </message>
    <message>
        <source>The rollers need to be cleaned</source>
        <translation>Die Rollen müssen gereinigt werden</translation>
    </message>
    <message>
        <source>After you have cleaned the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>Nachdem Sie die Rollen gereinigt haben, klicken Sie auf die Schaltfläche „Zurücksetzen“ neben dem Zähler „%1“, um ihn auf 0 zurückzusetzen. Danach wird diese Meldung nicht mehr angezeigt.</translation>
    </message>
    <message>
        <source>This value cannot be adjusted</source>
        <translation>Dieser Wert kann nicht geändert werden</translation>
    </message>
    <message>
        <source>This value cannot be set</source>
        <translation>Dieser Wert kann nicht gespeichert werden</translation>
    </message>
    <message>
        <source>This value cannot be reset</source>
        <translation>Dieser Wert kann nicht zurückgesetzt werden</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Nie</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it goes into sleep mode</source>
        <translation>Geben Sie ein, wie viele Minuten der Scanner warten soll, bevor er in den Ruhezustand wechselt</translation>
    </message>
    <message>
        <source>Save any changes in the sleep mode field</source>
        <translation>Speichert die Änderungen im Feld „Ruhezustand“</translation>
    </message>
    <message>
        <source>Reset to the default sleep mode timeout</source>
        <translation>Setzt die Zeit bis zum Ruhezustand auf den Standardwert zurück</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it turns itself off</source>
        <translation>Geben Sie ein, wie viele Minuten der Scanner warten soll, bevor er sich ausschaltet</translation>
    </message>
    <message>
        <source>Save any changes in the power off field</source>
        <translation>Speichert die Änderungen im Feld „Ausschalten“</translation>
    </message>
    <message>
        <source>Reset to the default power off timeout</source>
        <translation>Setzt die Zeit bis zum Ausschalten auf den Standardwert zurück</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanel</name>
    <message>
        <source>Properties</source>
        <translation>Eigenschaften</translation>
    </message>
    <message>
        <source>Device settings</source>
        <translation>Geräteeinstellungen</translation>
    </message>
    <message>
        <source>Firmware version:</source>
        <translation>Firmware-Version:</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>Seriennummer:</translation>
    </message>
    <message>
        <source>LLD version:</source>
        <translation>LLD-Version:</translation>
    </message>
    <message>
        <source>Driver version:</source>
        <translation>Treiberversion:</translation>
    </message>
    <message>
        <source>First scan on:</source>
        <translation>Erster Scan am:</translation>
    </message>
    <message>
        <source>Maintenance</source>
        <translation>Wartung</translation>
    </message>
    <message>
        <source>Feed roller count:</source>
        <translation>Zähler Einzugsrolle:</translation>
    </message>
    <message>
        <source>Friction roller count:</source>
        <translation>Zähler Trennrolle:</translation>
    </message>
    <message>
        <source>Count since last cleaned:</source>
        <translation>Seit der letzten Reinigung:</translation>
    </message>
    <message>
        <source>Total number of pages scanned:</source>
        <translation>Gescannte Seiten insgesamt:</translation>
    </message>
    <message>
        <source>From ADF (simplex):</source>
        <translation>Aus dem ADF (einseitig):</translation>
    </message>
    <message>
        <source>From ADF (duplex):</source>
        <translation>Aus dem ADF (beidseitig):</translation>
    </message>
    <message>
        <source>Multifeed:</source>
        <translation>Mehrfacheinzug:</translation>
    </message>
    <message>
        <source>Jam:</source>
        <translation>Papierstau:</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Zurücksetzen</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Übernehmen</translation>
    </message>
    <message>
        <source>&amp;Show maintenance reminders</source>
        <translation>Wartungs&amp;hinweise anzeigen</translation>
    </message>
    <message>
        <source>Check for &amp;firmware update</source>
        <translation>Nach &amp;Firmware-Update suchen</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Aktualisieren</translation>
    </message>
    <message>
        <source>Power settings</source>
        <translation>Energieeinstellungen</translation>
    </message>
    <message>
        <source>&amp;Sleep mode:</source>
        <translation>&amp;Ruhezustand:</translation>
    </message>
    <message>
        <source>&amp;Power off:</source>
        <translation>&amp;Ausschalten:</translation>
    </message>
    <message>
        <source>&amp;USB off:</source>
        <translation>&amp;USB aus:</translation>
    </message>
    <message>
        <source> minute(s)</source>
        <translation> Minute(n)</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Hilfe</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanelHWIP</name>
    <message>
        <source>HW IP</source>
        <translation>HW-Bildverarbeitung</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Bit depth reduction</source>
        <translation>Farbtiefenreduzierung</translation>
    </message>
    <message>
        <source>Crop to original &amp;&amp; Straighten image</source>
        <translation>Auf Vorlage zuschneiden &amp;&amp; Bild begradigen</translation>
    </message>
    <message>
        <source>Reduce moiré</source>
        <translation>Moiré reduzieren</translation>
    </message>
    <message>
        <source>Rotate image</source>
        <translation>Bild drehen</translation>
    </message>
    <message>
        <source>Skip blank originals</source>
        <translation>Leere Vorlagen überspringen</translation>
    </message>
    <message>
        <source>Select to enable this option in hardware image processing</source>
        <translation>Aktiviert diese Option in der Bildverarbeitung des Scanners</translation>
    </message>
</context>
<context>
    <name>Global</name>
    <message>
        <source>Device settings</source>
        <translation>Geräteeinstellungen</translation>
    </message>
    <message>
        <source>Driver settings</source>
        <translation>Treibereinstellungen</translation>
    </message>
</context>
</TS>
