<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>DriversConfig</name>
    <message>
        <source>Form</source>
        <translation>Formulaire</translation>
    </message>
    <message>
        <source>General</source>
        <translation>Général</translation>
    </message>
    <message>
        <source>Lock settings</source>
        <translation>Verrouiller les paramètres</translation>
    </message>
    <message>
        <source>Select to prevent the interface options from being changed by a user.</source>
        <translation>Empêche l'utilisateur de modifier les options de l'interface.</translation>
    </message>
    <message>
        <source>Default preset:</source>
        <translation>Préréglage par défaut :</translation>
    </message>
    <message>
        <source>Select a default preset for the TWAIN interface.</source>
        <translation>Choisissez le préréglage par défaut de l'interface TWAIN.</translation>
    </message>
    <message>
        <source>TWAIN driver</source>
        <translation>Pilote TWAIN</translation>
    </message>
    <message>
        <source>Auto transfer</source>
        <translation>Transfert automatique</translation>
    </message>
    <message>
        <source>Scanning and transfer starts when the scanner detects media.</source>
        <translation>La numérisation et le transfert démarrent dès que le scanner détecte un document.</translation>
    </message>
    <message>
        <source>Auto close on transfer</source>
        <translation>Fermeture automatique après transfert</translation>
    </message>
    <message>
        <source>The interface closes automatically when scanning is complete.</source>
        <translation>L'interface se ferme automatiquement à la fin de la numérisation.</translation>
    </message>
    <message>
        <source>Force UI-less</source>
        <translation>Forcer le mode sans interface</translation>
    </message>
    <message>
        <source>For use with applications that do not normally support UI-less mode.</source>
        <translation>Pour les applications qui ne prennent pas en charge le mode sans interface.</translation>
    </message>
    <message>
        <source>Preset overrides capabilities</source>
        <translation>Le préréglage prime sur l'application</translation>
    </message>
    <message>
        <source>The default preset will override any changes made by the calling application.</source>
        <translation>Le préréglage par défaut remplace les modifications faites par l'application appelante.</translation>
    </message>
    <message>
        <source>Fail open if scanner not present</source>
        <translation>Échec de l'ouverture sans scanner</translation>
    </message>
    <message>
        <source>Prevents the driver from opening if the scanner is not connected.</source>
        <translation>Empêche l'ouverture du pilote si le scanner n'est pas connecté.</translation>
    </message>
    <message>
        <source>Enable user compression</source>
        <translation>Compression choisie par l'utilisateur</translation>
    </message>
    <message>
        <source>Allows the user to specify the type of compression used.</source>
        <translation>Permet à l'utilisateur de choisir le type de compression.</translation>
    </message>
    <message>
        <source>Remember compression</source>
        <translation>Mémoriser la compression</translation>
    </message>
    <message>
        <source>Compression settings will be saved and loaded from presets and last used settings.</source>
        <translation>La compression est enregistrée et rechargée avec les préréglages et les derniers paramètres utilisés.</translation>
    </message>
    <message>
        <source>Suppress TWCC_CAPSEQERROR</source>
        <translation>Supprimer TWCC_CAPSEQERROR</translation>
    </message>
    <message>
        <source>Return default value if there is a TWCC_CAPSEQERROR error</source>
        <translation>Renvoyer la valeur par défaut en cas d'erreur TWCC_CAPSEQERROR</translation>
    </message>
    <message>
        <source>Make TWAIN topmost UI</source>
        <translation>Interface TWAIN au premier plan</translation>
    </message>
    <message>
        <source>Always show the TWAIN interface in front of all other open windows. </source>
        <translation>Toujours afficher l'interface TWAIN devant les autres fenêtres. </translation>
    </message>
    <message>
        <source>Suppress EnableDS failure</source>
        <translation>Supprimer l'échec d'EnableDS</translation>
    </message>
    <message>
        <source>Report success to the application when the scanner&apos;s interface cannot be enabled.</source>
        <translation>Signale une réussite à l&apos;application lorsque l&apos;interface du scanner ne peut pas être activée.</translation>
    </message>
    <message>
        <source>WIA driver</source>
        <translation>Pilote WIA</translation>
    </message>
    <message>
        <source>Use default WIA UI</source>
        <translation>Interface WIA standard</translation>
    </message>
    <message>
        <source>Use the Microsoft WIA interface instead of the scanner's custom interface.</source>
        <translation>Utiliser l'interface WIA de Microsoft au lieu de l'interface propre au scanner.</translation>
    </message>
    <message>
        <source>Emulate WIA 1.0</source>
        <translation>Émuler WIA 1.0</translation>
    </message>
    <message>
        <source>Select to display the scanner's custom interface in WIA 1.0 applications.</source>
        <translation>Affiche l'interface propre au scanner dans les applications WIA 1.0.</translation>
    </message>
    <message>
        <source>Default settings</source>
        <translation>Paramètres par défaut</translation>
    </message>
    <message>
        <source>Last used settings</source>
        <translation>Derniers paramètres utilisés</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel.</source>
        <translation>Cette option ne peut être modifiée que si les propriétés du scanner sont ouvertes depuis le Panneau de configuration de Windows.</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>Vous devez disposer de droits d'administrateur pour modifier ce paramètre.</translation>
    </message>
    <message>
        <source>Attention!</source>
        <translation>Attention !</translation>
    </message>
    <message>
        <source>This will change WIA driver behaviour. Do you want to continue?</source>
        <translation>Le comportement du pilote WIA va changer. Voulez-vous continuer ?</translation>
    </message>
    <message>
        <source>Power cycle the scanner and click OK.</source>
        <translation>Éteignez puis rallumez le scanner et cliquez sur OK.</translation>
    </message>
</context>
</TS>
