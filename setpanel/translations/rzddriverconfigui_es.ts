<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es">
<context>
    <name>DriversConfig</name>
    <message>
        <source>Form</source>
        <translation>Formulario</translation>
    </message>
    <message>
        <source>General</source>
        <translation>General</translation>
    </message>
    <message>
        <source>Lock settings</source>
        <translation>Bloquear la configuración</translation>
    </message>
    <message>
        <source>Select to prevent the interface options from being changed by a user.</source>
        <translation>Impide que el usuario cambie las opciones de la interfaz.</translation>
    </message>
    <message>
        <source>Default preset:</source>
        <translation>Ajuste predeterminado:</translation>
    </message>
    <message>
        <source>Select a default preset for the TWAIN interface.</source>
        <translation>Elija el ajuste predeterminado de la interfaz TWAIN.</translation>
    </message>
    <message>
        <source>TWAIN driver</source>
        <translation>Controlador TWAIN</translation>
    </message>
    <message>
        <source>Auto transfer</source>
        <translation>Transferencia automática</translation>
    </message>
    <message>
        <source>Scanning and transfer starts when the scanner detects media.</source>
        <translation>El escaneado y la transferencia empiezan cuando el escáner detecta papel.</translation>
    </message>
    <message>
        <source>Auto close on transfer</source>
        <translation>Cerrar al terminar la transferencia</translation>
    </message>
    <message>
        <source>The interface closes automatically when scanning is complete.</source>
        <translation>La interfaz se cierra automáticamente al terminar el escaneado.</translation>
    </message>
    <message>
        <source>Force UI-less</source>
        <translation>Forzar el modo sin interfaz</translation>
    </message>
    <message>
        <source>For use with applications that do not normally support UI-less mode.</source>
        <translation>Para aplicaciones que normalmente no admiten el modo sin interfaz.</translation>
    </message>
    <message>
        <source>Preset overrides capabilities</source>
        <translation>El ajuste prevalece sobre la aplicación</translation>
    </message>
    <message>
        <source>The default preset will override any changes made by the calling application.</source>
        <translation>El ajuste predeterminado sustituye los cambios de la aplicación que llama.</translation>
    </message>
    <message>
        <source>Fail open if scanner not present</source>
        <translation>No abrir si no hay escáner</translation>
    </message>
    <message>
        <source>Prevents the driver from opening if the scanner is not connected.</source>
        <translation>Impide que el controlador se abra si el escáner no está conectado.</translation>
    </message>
    <message>
        <source>Enable user compression</source>
        <translation>Compresión elegida por el usuario</translation>
    </message>
    <message>
        <source>Allows the user to specify the type of compression used.</source>
        <translation>Permite al usuario elegir el tipo de compresión.</translation>
    </message>
    <message>
        <source>Remember compression</source>
        <translation>Recordar la compresión</translation>
    </message>
    <message>
        <source>Compression settings will be saved and loaded from presets and last used settings.</source>
        <translation>La compresión se guarda y se carga con los ajustes y la última configuración usada.</translation>
    </message>
    <message>
        <source>Suppress TWCC_CAPSEQERROR</source>
        <translation>Suprimir TWCC_CAPSEQERROR</translation>
    </message>
    <message>
        <source>Return default value if there is a TWCC_CAPSEQERROR error</source>
        <translation>Devolver el valor predeterminado si se produce TWCC_CAPSEQERROR</translation>
    </message>
    <message>
        <source>Make TWAIN topmost UI</source>
        <translation>Interfaz TWAIN siempre visible</translation>
    </message>
    <message>
        <source>Always show the TWAIN interface in front of all other open windows. </source>
        <translation>Mostrar siempre la interfaz TWAIN delante de las demás ventanas. </translation>
    </message>
    <message>
        <source>Suppress EnableDS failure</source>
        <translation>Suprimir el fallo de EnableDS</translation>
    </message>
    <message>
        <source>Report success to the application when the scanner&apos;s interface cannot be enabled.</source>
        <translation>Informa de éxito a la aplicación cuando no se puede activar la interfaz del escáner.</translation>
    </message>
    <message>
        <source>WIA driver</source>
        <translation>Controlador WIA</translation>
    </message>
    <message>
        <source>Use default WIA UI</source>
        <translation>Interfaz WIA estándar</translation>
    </message>
    <message>
        <source>Use the Microsoft WIA interface instead of the scanner's custom interface.</source>
        <translation>Usar la interfaz WIA de Microsoft en lugar de la interfaz propia del escáner.</translation>
    </message>
    <message>
        <source>Emulate WIA 1.0</source>
        <translation>Emular WIA 1.0</translation>
    </message>
    <message>
        <source>Select to display the scanner's custom interface in WIA 1.0 applications.</source>
        <translation>Muestra la interfaz propia del escáner en aplicaciones WIA 1.0.</translation>
    </message>
    <message>
        <source>Default settings</source>
        <translation>Configuración predeterminada</translation>
    </message>
    <message>
        <source>Last used settings</source>
        <translation>Última configuración usada</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel.</source>
        <translation>Esta opción solo se puede cambiar si las propiedades del escáner se abren desde el Panel de control de Windows.</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>Necesita privilegios de administrador para cambiar esta opción.</translation>
    </message>
    <message>
        <source>Attention!</source>
        <translation>¡Atención!</translation>
    </message>
    <message>
        <source>This will change WIA driver behaviour. Do you want to continue?</source>
        <translation>Esto cambiará el comportamiento del controlador WIA. ¿Desea continuar?</translation>
    </message>
    <message>
        <source>Power cycle the scanner and click OK.</source>
        <translation>Apague y vuelva a encender el escáner y haga clic en Aceptar.</translation>
    </message>
</context>
</TS>
