<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>CHScannerQTModule</name>
    <message>
        <source>HW IP</source>
        <translation>HW IP</translation>
    </message>
    <message>
        <source>If the scanner's firmware version is out of date, click this button to update the scanner</source>
        <translation>If the scanner's firmware version is out of date, click this button to update the scanner</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel</source>
        <translation>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>You need administrative privileges to change this setting.</translation>
    </message>
    <message>
        <source>Error Occurred</source>
        <translation>Error Occurred</translation>
    </message>
    <message>
        <source>The scanner is in use by another application.</source>
        <translation>The scanner is in use by another application.</translation>
    </message>
    <message>
        <source>No connection with device</source>
        <translation>No connection with device</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been replaced</source>
        <translation>Reset the scan count back to 0 after the rollers have been replaced</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been cleaned</source>
        <translation>Reset the scan count back to 0 after the rollers have been cleaned</translation>
    </message>
    <message>
        <source>Reset the scan count to zero</source>
        <translation>Reset the scan count to zero</translation>
    </message>
    <message>
        <source>Display a notification when it is time to clean or replace the rollers</source>
        <translation>Display a notification when it is time to clean or replace the rollers</translation>
    </message>
    <message>
        <source>You need administrative privileges to reset this counter</source>
        <translation>You need administrative privileges to reset this counter</translation>
    </message>
    <message>
        <source>You need administrative privileges to update scanner firmware</source>
        <translation>You need administrative privileges to update scanner firmware</translation>
    </message>
    <message>
        <source>After you have replaced the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>After you have replaced the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</translation>
    </message>
    <message>
        <source>The rollers need to be replaced</source>
        <translation>The rollers need to be replaced</translation>
    </message>
    <message>
        <source>The rollers need to be cleaned</source>
        <translation>The rollers need to be cleaned</translation>
    </message>
    <message>
        <source>After you have cleaned the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>After you have cleaned the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</translation>
    </message>
    <message>
        <source>This value cannot be adjusted</source>
        <translation>This value cannot be adjusted</translation>
    </message>
    <message>
        <source>This value cannot be set</source>
        <translation>This value cannot be set</translation>
    </message>
    <message>
        <source>This value cannot be reset</source>
        <translation>This value cannot be reset</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Never</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it goes into sleep mode</source>
        <translation>Input the number of minutes you want the scanner to wait before it goes into sleep mode</translation>
    </message>
    <message>
        <source>Save any changes in the sleep mode field</source>
        <translation>Save any changes in the sleep mode field</translation>
    </message>
    <message>
        <source>Reset to the default sleep mode timeout</source>
        <translation>Reset to the default sleep mode timeout</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it turns itself off</source>
        <translation>Input the number of minutes you want the scanner to wait before it turns itself off</translation>
    </message>
    <message>
        <source>Save any changes in the power off field</source>
        <translation>Save any changes in the power off field</translation>
    </message>
    <message>
        <source>Reset to the default power off timeout</source>
        <translation>Reset to the default power off timeout</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanel</name>
    <message>
        <source>Properties</source>
        <translation>Properties</translation>
    </message>
    <message>
        <source>Device settings</source>
        <translation>Device settings</translation>
    </message>
    <message>
        <source>Firmware version:</source>
        <translation>Firmware version:</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>Serial number:</translation>
    </message>
    <message>
        <source>LLD version:</source>
        <translation>LLD version:</translation>
    </message>
    <message>
        <source>Driver version:</source>
        <translation>Driver version:</translation>
    </message>
    <message>
        <source>First scan on:</source>
        <translation>First scan on:</translation>
    </message>
    <message>
        <source>Maintenance</source>
        <translation>Maintenance</translation>
    </message>
    <message>
        <source>Feed roller count:</source>
        <translation>Feed roller count:</translation>
    </message>
    <message>
        <source>Friction roller count:</source>
        <translation>Friction roller count:</translation>
    </message>
    <message>
        <source>Count since last cleaned:</source>
        <translation>Count since last cleaned:</translation>
    </message>
    <message>
        <source>Total number of pages scanned:</source>
        <translation>Total number of pages scanned:</translation>
    </message>
    <message>
        <source>From ADF (simplex):</source>
        <translation>From ADF (simplex):</translation>
    </message>
    <message>
        <source>From ADF (duplex):</source>
        <translation>From ADF (duplex):</translation>
    </message>
    <message>
        <source>Multifeed:</source>
        <translation>Multifeed:</translation>
    </message>
    <message>
        <source>Jam:</source>
        <translation>Jam:</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Set</translation>
    </message>
    <message>
        <source>&amp;Show maintenance reminders</source>
        <translation>&amp;Show maintenance reminders</translation>
    </message>
    <message>
        <source>Check for &amp;firmware update</source>
        <translation>Check for &amp;firmware update</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <source>Power settings</source>
        <translation>Power settings</translation>
    </message>
    <message>
        <source>&amp;Sleep mode:</source>
        <translation>&amp;Sleep mode:</translation>
    </message>
    <message>
        <source>&amp;Power off:</source>
        <translation>&amp;Power off:</translation>
    </message>
    <message>
        <source>&amp;USB off:</source>
        <translation>&amp;USB off:</translation>
    </message>
    <message>
        <source> minute(s)</source>
        <translation> minute(s)</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Help</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanelHWIP</name>
    <message>
        <source>HW IP</source>
        <translation>HW IP</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filter</translation>
    </message>
    <message>
        <source>Bit depth reduction</source>
        <translation>Bit depth reduction</translation>
    </message>
    <message>
        <source>Crop to original &amp;&amp; Straighten image</source>
        <translation>Crop to original &amp;&amp; Straighten image</translation>
    </message>
    <message>
        <source>Reduce moiré</source>
        <translation>Reduce moiré</translation>
    </message>
    <message>
        <source>Rotate image</source>
        <translation>Rotate image</translation>
    </message>
    <message>
        <source>Skip blank originals</source>
        <translation>Skip blank originals</translation>
    </message>
    <message>
        <source>Select to enable this option in hardware image processing</source>
        <translation>Select to enable this option in hardware image processing</translation>
    </message>
</context>
<context>
    <name>Global</name>
    <message>
        <source>Device settings</source>
        <translation>Device settings</translation>
    </message>
    <message>
        <source>Driver settings</source>
        <translation>Driver settings</translation>
    </message>
</context>
</TS>
