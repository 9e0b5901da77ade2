<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>CHScannerQTModule</name>
    <message>
        <source>HW IP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>If the scanner&apos;s firmware version is out of date, click this button to update the scanner</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanel</name>
    <message>
        <source>Properties</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Device settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Firmware version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>LLD version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Driver version:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>First scan on:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Maintenance</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Feed roller count:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Friction roller count:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Count since last cleaned:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Total number of pages scanned:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>From ADF (simplex):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>From ADF (duplex):</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Multifeed:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Jam:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reset</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Set</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Show maintenance reminders</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Check for &amp;firmware update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Update</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Power settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Sleep mode:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;Power off:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>&amp;USB off:</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source> minute(s)</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Help</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanelHWIP</name>
    <message>
        <source>HW IP</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Hardware image processing</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Filter</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Bit depth reduction</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Crop to original &amp;&amp; Straighten image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Reduce moiré</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Rotate image</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Skip blank originals</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Select to enable this option in hardware image processing</source>
        <translation type="unfinished"></translation>
    </message>
</context>
<context>
    <name>Global</name>
    <message>
        <source>Device settings</source>
        <translation type="unfinished"></translation>
    </message>
    <message>
        <source>Driver settings</source>
        <translation type="unfinished"></translation>
    </message>
</context>
</TS>
