<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="fr">
<context>
    <name>CHScannerQTModule</name>
    <message>
        <source>HW IP</source>
        <translation>Traitement matériel</translation>
    </message>
    <message>
        <source>If the scanner's firmware version is out of date, click this button to update the scanner</source>
        <translation>Si la version du micrologiciel du scanner est obsolète, cliquez sur ce bouton pour mettre le scanner à jour</translation>
    </message>
    <message>
        <source>This option can only be changed when the scanner properties windows are opened from the Windows Control Panel</source>
        <translation>Cette option ne peut être modifiée que si les propriétés du scanner sont ouvertes depuis le Panneau de configuration de Windows</translation>
    </message>
    <message>
        <source>You need administrative privileges to change this setting.</source>
        <translation>Vous devez disposer de droits d'administrateur pour modifier ce paramètre.</translation>
    </message>
    <message>
        <source>Error Occurred</source>
        <translation>Une erreur s'est produite</translation>
    </message>
    <message>
        <source>The scanner is in use by another application.</source>
        <translation>Le scanner est utilisé par une autre application.</translation>
    </message>
    <message>
        <source>No connection with device</source>
        <translation>Aucune connexion avec le périphérique</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been replaced</source>
        <translation>Remet le compteur à 0 après le remplacement des rouleaux</translation>
    </message>
    <message>
        <source>Reset the scan count back to 0 after the rollers have been cleaned</source>
        <translation>Remet le compteur à 0 après le nettoyage des rouleaux</translation>
    </message>
    <message>
        <source>Reset the scan count to zero</source>
        <translation>Remet le compteur à zéro</translation>
    </message>
    <message>
        <source>Display a notification when it is time to clean or replace the rollers</source>
        <translation>Affiche une notification lorsqu'il est temps de nettoyer ou de remplacer les rouleaux</translation>
    </message>
    <message>
        <source>You need administrative privileges to reset this counter</source>
        <translation>Vous devez disposer de droits d'administrateur pour remettre ce compteur à zéro</translation>
    </message>
    <message>
        <source>You need administrative privileges to update scanner firmware</source>
        <translation>Vous devez disposer de droits d'administrateur pour mettre à jour le micrologiciel du scanner</translation>
    </message>
    <message>
        <source>After you have replaced the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>Après avoir remplacé les rouleaux, cliquez sur le bouton de remise à zéro à côté du compteur « %1 » pour le remettre à 0. Ce message ne s'affichera plus ensuite.</translation>
    </message>
    <message>
        <source>The rollers need to be replaced</source>
        <translation>Les rouleaux doivent être remplacés</translation>
    </message>
    <message>
        <source>The rollers need to be cleaned</source>
        <translation>Les rouleaux doivent être nettoyés</translation>
    </message>
    <message>
        <source>After you have cleaned the rollers, click the reset button next to the "%1" counter to reset the roller scan count back to 0. This message will no longer be displayed after you click the reset button.</source>
        <translation>Après avoir nettoyé les rouleaux, cliquez sur le bouton de remise à zéro à côté du compteur « %1 » pour le remettre à 0. Ce message ne s'affichera plus ensuite.</translation>
    </message>
    <message>
        <source>This value cannot be adjusted</source>
        <translation>Cette valeur ne peut pas être modifiée</translation>
    </message>
    <message>
        <source>This value cannot be set</source>
        <translation>Cette valeur ne peut pas être enregistrée</translation>
    </message>
    <message>
        <source>This value cannot be reset</source>
        <translation>Cette valeur ne peut pas être réinitialisée</translation>
    </message>
    <message>
        <source>Never</source>
        <translation>Jamais</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it goes into sleep mode</source>
        <translation>Indiquez le nombre de minutes que le scanner doit attendre avant de passer en veille</translation>
    </message>
    <message>
        <source>Save any changes in the sleep mode field</source>
        <translation>Enregistre les modifications du champ « Veille »</translation>
    </message>
    <message>
        <source>Reset to the default sleep mode timeout</source>
        <translation>Rétablit le délai de mise en veille par défaut</translation>
    </message>
    <message>
        <source>Input the number of minutes you want the scanner to wait before it turns itself off</source>
        <translation>Indiquez le nombre de minutes que le scanner doit attendre avant de s'éteindre</translation>
    </message>
    <message>
        <source>Save any changes in the power off field</source>
        <translation>Enregistre les modifications du champ « Extinction »</translation>
    </message>
    <message>
        <source>Reset to the default power off timeout</source>
        <translation>Rétablit le délai d'extinction par défaut</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanel</name>
    <message>
        <source>Properties</source>
        <translation>Propriétés</translation>
    </message>
    <message>
        <source>Device settings</source>
        <translation>Paramètres du périphérique</translation>
    </message>
    <message>
        <source>Firmware version:</source>
        <translation>Version du micrologiciel :</translation>
    </message>
    <message>
        <source>Serial number:</source>
        <translation>Numéro de série :</translation>
    </message>
    <message>
        <source>LLD version:</source>
        <translation>Version LLD :</translation>
    </message>
    <message>
        <source>Driver version:</source>
        <translation>Version du pilote :</translation>
    </message>
    <message>
        <source>First scan on:</source>
        <translation>Premier balayage le :</translation>
    </message>
    <message>
        <source>Maintenance</source>
        <translation>Entretien</translation>
    </message>
    <message>
        <source>Feed roller count:</source>
        <translation>Compteur du rouleau d'entraînement :</translation>
    </message>
    <message>
        <source>Friction roller count:</source>
        <translation>Compteur du rouleau de séparation :</translation>
    </message>
    <message>
        <source>Count since last cleaned:</source>
        <translation>Depuis le dernier nettoyage :</translation>
    </message>
    <message>
        <source>Total number of pages scanned:</source>
        <translation>Nombre total de pages numérisées :</translation>
    </message>
    <message>
        <source>From ADF (simplex):</source>
        <translation>Depuis le CAD (recto) :</translation>
    </message>
    <message>
        <source>From ADF (duplex):</source>
        <translation>Depuis le CAD (recto verso) :</translation>
    </message>
    <message>
        <source>Multifeed:</source>
        <translation>Chargement multiple :</translation>
    </message>
    <message>
        <source>Jam:</source>
        <translation>Bourrage :</translation>
    </message>
    <message>
        <source>Reset</source>
        <translation>Réinitialiser</translation>
    </message>
    <message>
        <source>Set</source>
        <translation>Appliquer</translation>
    </message>
    <message>
        <source>&amp;Show maintenance reminders</source>
        <translation>&amp;Afficher les rappels d'entretien</translation>
    </message>
    <message>
        <source>Check for &amp;firmware update</source>
        <translation>Rechercher une mise à jour du &amp;micrologiciel</translation>
    </message>
    <message>
        <source>Update</source>
        <translation>Mettre à jour</translation>
    </message>
    <message>
        <source>Power settings</source>
        <translation>Paramètres d'alimentation</translation>
    </message>
    <message>
        <source>&amp;Sleep mode:</source>
        <translation>&amp;Veille :</translation>
    </message>
    <message>
        <source>&amp;Power off:</source>
        <translation>&amp;Extinction :</translation>
    </message>
    <message>
        <source>&amp;USB off:</source>
        <translation>&amp;USB désactivé :</translation>
    </message>
    <message>
        <source> minute(s)</source>
        <translation> minute(s)</translation>
    </message>
    <message>
        <source>Help</source>
        <translation>Aide</translation>
    </message>
</context>
<context>
    <name>CHScannerQTModuleConfigPanelHWIP</name>
    <message>
        <source>HW IP</source>
        <translation>Traitement matériel</translation>
    </message>
    <message>
        <source>Filter</source>
        <translation>Filtre</translation>
    </message>
    <message>
        <source>Bit depth reduction</source>
        <translation>Réduction de la profondeur de couleur</translation>
    </message>
    <message>
        <source>Crop to original &amp;&amp; Straighten image</source>
        <translation>Recadrer sur l'original &amp;&amp; redresser l'image</translation>
    </message>
    <message>
        <source>Reduce moiré</source>
        <translation>Réduire le moiré</translation>
    </message>
    <message>
        <source>Rotate image</source>
        <translation>Faire pivoter l'image</translation>
    </message>
    <message>
        <source>Skip blank originals</source>
        <translation>Ignorer les originaux vierges</translation>
    </message>
    <message>
        <source>Select to enable this option in hardware image processing</source>
        <translation>Active cette option dans le traitement d'image matériel</translation>
    </message>
</context>
<context>
    <name>Global</name>
    <message>
        <source>Device settings</source>
        <translation>Paramètres du périphérique</translation>
    </message>
    <message>
        <source>Driver settings</source>
        <translation>Paramètres du pilote</translation>
    </message>
</context>
</TS>
