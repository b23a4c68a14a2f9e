# shellcheck shell=bash
# The program's texts in both languages, in UTF-8, as the stories expect
# them, and the driver lines several stories share; sourced by lib.sh.
# Line feeds are written \n, as the driver prints them; %s stands for what
# the program fills in.
#   text <en|fr> <name> [value...]

# shellcheck disable=SC2034 # read through a name reference in text
declare -A TEXTS_EN=(
    [main_caption]='TORVIN serial cards setup for Windows NT version 1.3'
    [cards_label]='The following serial cards are already installed:'
    [models_caption]='Card model selection'
    [props_caption]='Card properties'
    [internal_error]='Internal error'
    [mandatory_value]='Error reading mandatory value %s from %s: %s'
    [no_selection_caption]='You entered invalid data.'
    [no_selection_text]='You must first select a card in the list.'
    [card_test]='Card test'
    [just_added]='You just added this card. You must restart Windows before you can test it.'
    [results_caption]='Tests results'
    [test_ok]='%s: OK (send and receive)'
    [test_no_loopback]='%s: OK (send) (no loopback connector found)'
    [not_installed]='%s: Error: port not installed'
    [conflict_caption]='Conflict detected between serial cards'
    [duplicate_name_text]='ERROR: The name %s is used in both the %s and %s keys.'
    [shared_irq_text]='Potential problem:Interrupt %s is shared between ports %s and %s. Some cards do not allow this.'
    [duplicate_address_text]='ERROR:The address %sH is used by both the %s and %s ports.'
    [reminder_caption]='ISA non-PNP cards installation'
    [reminder_text]='IMPORTANT: check in the BIOS SETUP of the computer, on the PNP (Plug-And-Play) configuration page, that the following IRQs are actually reserved for the ISA bus: %s\n\nYou must reboot the computer in order to complete the installation..\nAfter reboot, you can restart this program in order to test the installed cards..'
)

# shellcheck disable=SC2034
declare -A TEXTS_FR=(
    [main_caption]='Installation des cartes série passives TORVIN version 1.3.NT'
    [cards_label]='Les cartes série suivantes sont déjà installées :'
    [models_caption]='Propriétés de la carte'
    [props_caption]='Propriétés de la carte'
    [internal_error]='Erreur interne'
    [mandatory_value]="La valeur %s est obligatoire, mais elle n'a pas été lue dans %s: %s"
    [no_selection_caption]='Saisie invalide'
    [no_selection_text]="Vous devez d'abord sélectionner une carte dans la liste."
    [card_test]="Test d'une carte"
    [just_added]="Vous venez d'ajouter cette carte. Vous devez redémarrer Windows avant de pouvoir la tester."
    [results_caption]='Résultat des tests'
    [test_ok]='%s: Emission et réception OK'
    [test_no_loopback]='%s: Emission OK (connecteur de test absent)'
    [not_installed]='%s: Erreur: Port non installé'
    [conflict_caption]='Conflit entre cartes série passives'
    [duplicate_name_text]='ERREUR: Le nom %s est utilisé simultanément par les clés %s et %s.'
    [shared_irq_text]="Problème potentiel : L'interruption %s est partagée entre les deux ports %s et %s. Certaines cartes ne supportent pas cela."
    [duplicate_address_text]="ERREUR: L'adresse %sH est utilisée simultanément par les ports %s et %s."
    [reminder_caption]='Installation sur bus ISA PNP'
    [reminder_text]="IMPORTANT : vérifiez dans le BIOS SETUP de l'ordinateur, à la page de configuration PNP (Plug-And-Play), que les IRQ suivantes sont bien réservées au bus ISA : %s\n\nVous devez arrêter et redémarrer l'ordinateur pour terminer cette installation.\nAprès redémarrage, vous pourrez relancer ce programme pour tester les cartes installées."
)

text() {
    local -n texts="TEXTS_${1^^}"
    local format=${texts[$2]:?no text $2}
    shift 2
    # Backslashes stay as they are: \n is the driver's, not printf's.
    # shellcheck disable=SC2059
    printf -- "${format//\\/\\\\}" "$@"
}

# The end of a run that quits with cards configured, as driver lines: the
# reminder of the interrupts to reserve, no other box, and exit code 0.
#   reminder_then_exit <en|fr> <interrupts>
reminder_then_exit() {
    printf 'expect-box "%s" "%s" information none\nno-box 500\nexpect-exit 0\n' \
        "$(text "$1" reminder_caption)" "$(text "$1" reminder_text "$2")"
}

# Add..., then the model on the given line of the model list and Next>>.
add_model() {
    printf 'click IDC_ADD\nwait-dialog models\nselect IDC_MODELLIST %s\nclick IDC_NEXT\n' "$1"
}
