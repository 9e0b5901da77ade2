<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>CHScannerQTModule</name>
    <message>
        <source>HW IP</source>
        <translation>Procesamiento HW</translation>
    </message>
    <message>
        <source>If the scanner's firmware version is out of date, click this button to update the scanner</source>
        <translation>Si la versión del firmware del escáner está desactualizada, haga clic en este botón para actualizar el escáner</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel</source>
        <translation>Esta opción solo se puede cambiar si las propiedades del escáner se abren desde el Panel de control de Windows</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>Necesita privilegios de administrador para cambiar esta opción.</translation>
    </message>
    <message>
        <source>Error Occurred</source>
        <translation>Se ha producido un error</translation>
    </message>
    <message>
        <source>The scanner is in use by another application.</source>
        <translation>Otra aplicación está usando el escáner.</translation>
    </message>
    <message>
        <source>No connection with device</source>
        <translation>No hay conexión con el dispositivo</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been replaced</source>
        <translation>Pone el contador a 0 después de sustituir los rodillos</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been cleaned</source>
        <translation>Pone el contador a 0 después de limpiar los rodillos</translation>
    </message>
    <message>
        <source>Reset the scan count to zero</source>
        <translation>Pone el contador a cero</translation>
    </message>
    <message>
        <source>Display a notification when it is time to clean or replace the rollers</source>
        <translation>Muestra un aviso cuando sea necesario limpiar o sustituir los rodillos</translation>
    </message>
    <message>
        <source>You need administrative privileges to reset this counter</source>
        <translation>Necesita privilegios de administrador para restablecer este contador</translation>
    </message>
    <message>
        <source>You need administrative privileges to update scanner firmware</source>
        <translation>Necesita privilegios de administrador para actualizar el firmware del escáner</translation>
    </message>
    <message>
        <source>After you have replaced the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>Después de sustituir los rodillos, haga clic en el botón de restablecer junto al contador «%1» para ponerlo a 0. Después, este mensaje dejará de mostrarse.</translation>
    </message>
    <message>
        <source>The rollers need to be replaced</source>
        <translation>Es necesario sustituir los rodillos</translation>
    </message>
    <message>
        <source>The rollers need to be cleaned</source>
        <translation>Es necesario limpiar los rodillos</translation>
    </message>
    <message>
        <source>After you have cleaned the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>Después de limpiar los rodillos, haga clic en el botón de restablecer junto al contador «%1» para ponerlo a 0. Después, este mensaje dejará de mostrarse.</translation>
    </message>
    <message>
        <source>This value cannot be adjusted</source>
        <translation>Este valor no se puede modificar</translation>
    </message>
    <message>
        <source>This value cannot be set</source>
        <translation>Este valor no se puede guardar</translation>
    </message>
    <message>
        <source>This value cannot be reset</source>
        <translation>Este valor no se puede restablecer</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Nunca</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it goes into sleep mode</source>
        <translation>Introduzca los minutos que debe esperar el escáner antes de pasar al modo de reposo</translation>
    </message>
    <message>
        <source>Save any changes in the sleep mode field</source>
        <translation>Guarda los cambios del campo «Modo de reposo»</translation>
    </message>
    <message>
        <source>Reset to the default sleep mode timeout</source>
        <translation>Restablece el tiempo de reposo predeterminado</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it turns itself off</source>
        <translation>Introduzca los minutos que debe esperar el escáner antes de apagarse</translation>
    </message>
    <message>
        <source>Save any changes in the power off field</source>
        <translation>Guarda los cambios del campo «Apagado»</translation>
    </message>
    <message>
        <source>Reset to the default power off timeout</source>
        <translation>Restablece el tiempo de apagado predeterminado</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanel</name>
    <message>
        <source>Properties</source>
        <translation>Propiedades</translation>
    </message>
    <message>
        <source>Device settings</source>
        <translation>Configuración del dispositivo</translation>
    </message>
    <message>
        <source>Firmware version:</source>
        <translation>Versión del firmware:</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>Número de serie:</translation>
    </message>
    <message>
        <source>LLD version:</source>
        <translation>Versión de LLD:</translation>
    </message>
    <message>
        <source>Driver version:</source>
        <translation>Versión del controlador:</translation>
    </message>
    <message>
        <source>First scan on:</source>
        <translation>Primer escaneado el:</translation>
    </message>
    <message>
        <source>Maintenance</source>
        <translation>Mantenimiento</translation>
    </message>
    <message>
        <source>Feed roller count:</source>
        <translation>Contador del rodillo de alimentación:</translation>
    </message>
    <message>
        <source>Friction roller count:</source>
        <translation>Contador del rodillo de separación:</translation>
    </message>
    <message>
        <source>Count since last cleaned:</source>
        <translation>Desde la última limpieza:</translation>
    </message>
    <message>
        <source>Total number of pages scanned:</source>
        <translation>Número total de páginas escaneadas:</translation>
    </message>
    <message>
        <source>From ADF (simplex):</source>
        <translation>Desde el ADF (una cara):</translation>
    </message>
    <message>
        <source>From ADF (duplex):</source>
        <translation>Desde el ADF (dos caras):</translation>
    </message>
    <message>
        <source>Multifeed:</source>
        <translation>Alimentación múltiple:</translation>
    </message>
    <message>
        <source>Jam:</source>
        <translation>Atasco:</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Restablecer</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Aplicar</translation>
    </message>
    <message>
        <source>&amp;Show maintenance reminders</source>
        <translation>&amp;Mostrar avisos de mantenimiento</translation>
    </message>
    <message>
        <source>Check for &amp;firmware update</source>
        <translation>Buscar actualización del &amp;firmware</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Actualizar</translation>
    </message>
    <message>
        <source>Power settings</source>
        <translation>Configuración de energía</translation>
    </message>
    <message>
        <source>&amp;Sleep mode:</source>
        <translation>Modo de &amp;reposo:</translation>
    </message>
    <message>
        <source>&amp;Power off:</source>
        <translation>&amp;Apagado:</translation>
    </message>
    <message>
        <source>&amp;USB off:</source>
        <translation>&amp;USB desactivado:</translation>
    </message>
    <message>
        <source> minute(s)</source>
        <translation> minuto(s)</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Ayuda</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanelHWIP</name>
    <message>
        <source>HW IP</source>
        <translation>Procesamiento HW</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filtro</translation>
    </message>
    <message>
        <source>Bit depth reduction</source>
        <translation>Reducción de la profundidad de bits</translation>
    </message>
    <message>
        <source>Crop to original &amp;&amp; Straighten image</source>
        <translation>Recortar al original &amp;&amp; enderezar la imagen</translation>
    </message>
    <message>
        <source>Reduce moiré</source>
        <translation>Reducir el muaré</translation>
    </message>
    <message>
        <source>Rotate image</source>
        <translation>Girar la imagen</translation>
    </message>
    <message>
        <source>Skip blank originals</source>
        <translation>Omitir originales en blanco</translation>
    </message>
    <message>
        <source>Select to enable this option in hardware image processing</source>
        <translation>Active esta opción en el procesamiento de imagen por hardware</translation>
    </message>
</context>
<context>
    <name>Global</name>
    <message>
        <source>Device settings</source>
        <translation>Configuración del dispositivo</translation>
    </message>
    <message>
        <source>Driver settings</source>
        <translation>Configuración del controlador</translation>
    </message>
</context>
</TS>
