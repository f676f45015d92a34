# The EFF large word list comes from Debian's "diceware" package.
set(LH_EFF_WORDLIST /usr/lib/python3/dist-packages/diceware/wordlists/wordlist_en_eff.txt)
if(NOT EXISTS ${LH_EFF_WORDLIST})
    message(FATAL_ERROR "The passphrase generator needs ${LH_EFF_WORDLIST}: install the Debian package diceware.")
endif()
list(APPEND LH_PLUGIN_EXTRA_FILES "eff_large_wordlist.txt=${LH_EFF_WORDLIST}")
