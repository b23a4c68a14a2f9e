# shellcheck shell=bash
# Expected texts of the program's messages in both languages, in UTF-8, for
# the end-to-end stories; sourced after lib.sh. Line feeds are written \n,
# as the driver prints them.

# The reminder of the interrupts to reserve, with the list of IRQs ($2).
reminder_caption() {
    if [[ $1 == en ]]; then
        printf '%s' 'ISA non-PNP cards installation'
    else
        printf '%s' 'Installation sur bus ISA PNP'
    fi
}

reminder_text() {
    if [[ $1 == en ]]; then
        printf '%s' "IMPORTANT: check in the BIOS SETUP of the computer, on the PNP (Plug-And-Play) configuration page, that the following IRQs are actually reserved for the ISA bus: $2\\n\\nYou must reboot the computer in order to complete the installation..\\nAfter reboot, you can restart this program in order to test the installed cards.."
    else
        printf '%s' "IMPORTANT : vérifiez dans le BIOS SETUP de l'ordinateur, à la page de configuration PNP (Plug-And-Play), que les IRQ suivantes sont bien réservées au bus ISA : $2\\n\\nVous devez arrêter et redémarrer l'ordinateur pour terminer cette installation.\\nAprès redémarrage, vous pourrez relancer ce programme pour tester les cartes installées."
    fi
}

main_caption() {
    if [[ $1 == en ]]; then
        printf '%s' 'TORVIN serial cards setup for Windows NT version 1.3'
    else
        printf '%s' 'Installation des cartes série passives TORVIN version 1.3.NT'
    fi
}

conflict_caption() {
    if [[ $1 == en ]]; then
        printf '%s' 'Conflict detected between serial cards'
    else
        printf '%s' 'Conflit entre cartes série passives'
    fi
}

# "The address <hex>H is used by both ports <a> and <b>".
duplicate_address_text() {
    if [[ $1 == en ]]; then
        printf 'ERROR:The address %sH is used by both the %s and %s ports.' "$2" "$3" "$4"
    else
        printf "ERREUR: L'adresse %sH est utilisée simultanément par les ports %s et %s." "$2" "$3" "$4"
    fi
}

no_selection_caption() {
    if [[ $1 == en ]]; then
        printf '%s' 'You entered invalid data.'
    else
        printf '%s' 'Saisie invalide'
    fi
}

no_selection_text() {
    if [[ $1 == en ]]; then
        printf '%s' 'You must first select a card in the list.'
    else
        printf '%s' "Vous devez d'abord sélectionner une carte dans la liste."
    fi
}

# "The name <com> is used in both the <key> and <key> keys".
duplicate_name_text() {
    if [[ $1 == en ]]; then
        printf 'ERROR: The name %s is used in both the %s and %s keys.' "$2" "$3" "$4"
    else
        printf 'ERREUR: Le nom %s est utilisé simultanément par les clés %s et %s.' "$2" "$3" "$4"
    fi
}

# "Interrupt <n> is shared between ports <a> and <b>".
shared_irq_text() {
    if [[ $1 == en ]]; then
        printf 'Potential problem:Interrupt %s is shared between ports %s and %s. Some cards do not allow this.' "$2" "$3" "$4"
    else
        printf "Problème potentiel : L'interruption %s est partagée entre les deux ports %s et %s. Certaines cartes ne supportent pas cela." "$2" "$3" "$4"
    fi
}
