#include "app/cli/CommandHelp.h"

#include <QStringList>

namespace {

struct Text {
    const char* name;
    const char* synopsis;
    const char* description;
};

// In the order of the overview.
const Text texts[] = {
    { "create", "create FILE --name NAME [--note TEXT] [--cipher AES-256|Twofish-256]\n"
                "                        [--kdf PBKDF2|Argon2] [--rounds N | --kdf-time MS]\n"
                "                        [--kdf-memory MIB] [--kdf-parallelism P]",
      "Creates a new database file (format version 4); never replaces an existing file.\n"
      "Without key-derivation options the program's defaults are used (Argon2id with 64 MiB,\n"
      "2 lanes and the passes that take about a second here, found once and kept).\n"
      "--rounds N gives PBKDF2 iterations, or Argon2 passes with --kdf Argon2; --kdf-time\n"
      "calibrates the rounds or passes to take about MS milliseconds on this computer;\n"
      "--kdf-memory and --kdf-parallelism set Argon2's memory in MiB and its lanes." },
    { "info", "info FILE",
      "Prints the header: name, note, cipher, key derivation and format version, and for\n"
      "format versions 1 to 3 what one password guess really costs. Needs no password\n"
      "(--password-stdin is accepted and ignored)." },
    { "ls", "ls FILE [GROUP] [--index]",
      "Lists the tree, groups ending in \"/\". --index puts each item's number (@N) first." },
    { "show", "show FILE ENTRY [--show-secrets] [--field NAME]",
      "Prints an entry; the password is masked without --show-secrets. --field prints\n"
      "only the value of one field (name, group, username, password, email, phone, url,\n"
      "note, icon, expires, attachment), with nothing added; password needs\n"
      "--show-secrets." },
    { "totp", "totp FILE ENTRY [--seconds]",
      "Prints the entry's current one-time code, made from the first line of its note that\n"
      "begins with otpauth://totp/. --seconds prints the seconds the code has left on a\n"
      "second line." },
    { "search", "search FILE TEXT [--fields name,username,url,note,password] [--match-case]",
      "Prints the full name of every entry whose chosen fields (all by default) contain\n"
      "TEXT, one per line; an ambiguous full name is printed as a path or number." },
    { "audit", "audit FILE [--hibp LIST] [--hibp-online] [--hibp-url URL]",
      "Prints one finding a line: the kind, a tab, the entry's full name, a tab and the\n"
      "detail (weak: RATING: WARNING, reused: the other entry, expired: the date, breached:\n"
      "the count), then a summary line. --hibp looks every password up in a downloaded list\n"
      "of breached passwords (sorted \"SHA1HEX:COUNT\" lines); --hibp-online asks the\n"
      "breached-passwords service, sending only the first 5 hex digits of each password's\n"
      "SHA-1 (at URL, or the address of the settings). The backup group is left out." },
    { "add", "add FILE GROUP NAME [--username U] [--email E] [--phone P] [--url U]\n"
             "                        [--note N] [--expires ISO-DATE|never] [--totp LINK-OR-SECRET]\n"
             "                        (--entry-password | --entry-password-stdin | --no-password |\n"
             "                         --generate [GENERATOR OPTIONS] [--show-secrets])",
      "Adds an entry. --entry-password asks for the entry password twice at the terminal;\n"
      "--entry-password-stdin reads it from the next line of standard input. --totp puts an\n"
      "otpauth://totp/ link into the note as its one-time code line; a bare Base32 secret\n"
      "makes one with SHA1, 6 digits and 30 seconds. An invalid value is refused." },
    { "edit", "edit FILE ITEM [--name NAME] [--note N] [the entry options of add]",
      "Changes the given fields of an entry, or renames a group (--name, --note); --no-password\n"
      "empties the entry password; --totp replaces the note's one-time code line. The entry\n"
      "as it was is first copied into the backup group when the program's settings say so." },
    { "mkgroup", "mkgroup FILE GROUP",
      "Makes a group: \"Personal - Finance\" or \"/Personal/Finance\" makes Finance inside the\n"
      "existing group Personal." },
    { "mv", "mv FILE ITEM DEST-GROUP",
      "Moves an entry or a group into DEST-GROUP; \"/\" moves a group to the top level. A\n"
      "group cannot be moved into itself or into a group inside it." },
    { "rm", "rm FILE ITEM [--recursive]",
      "Removes an entry or a group; a group that is not empty needs --recursive. Removed\n"
      "entries are copied into the backup group when the program's settings say so." },
    { "attach", "attach FILE ENTRY PATH",
      "Attaches a file to an entry, replacing (and saying so) the one it had." },
    { "extract", "extract FILE ENTRY OUT [--force]",
      "Writes an entry's attached file to OUT, readable by its owner only; an existing file\n"
      "is replaced only with --force, and a symbolic link is never written through." },
    { "passwd", "passwd FILE [--cipher AES-256|Twofish-256] [--kdf PBKDF2|Argon2]\n"
                "                        [--rounds N | --kdf-time MS] [--kdf-memory MIB] [--kdf-parallelism P]",
      "Changes the master password, and optionally the cipher and key derivation. The vault\n"
      "keeps its format version; one of version 1 to 3 takes PBKDF2 only." },
    { "upgrade", "upgrade FILE [--cipher AES-256|Twofish-256] [--kdf PBKDF2|Argon2]\n"
                 "                        [--rounds N | --kdf-time MS] [--kdf-memory MIB] [--kdf-parallelism P]",
      "Re-keys a vault of format version 1 to 3 as version 4, with the program's default key\n"
      "derivation unless options say otherwise, asking for the master password (the old one\n"
      "to open it, then the new one twice). Earlier builds cannot open the result." },
    { "merge", "merge DEST SOURCE... [--dry-run]",
      "Merges every SOURCE (a copy of the vault changed elsewhere, a synced folder's conflict\n"
      "copy) into DEST under DEST's lock and writes DEST once. DEST's password is tried on\n"
      "each source before another is asked for. One summary line per source; --dry-run lists\n"
      "what would change and writes nothing." },
    { "export", "export FILE",
      "Prints the whole tree, secrets included, as JSON." },
    { "import-json", "import-json FILE.json DEST [--name NAME] [--note TEXT]\n"
                     "                        [--cipher AES-256|Twofish-256] [KEY-DERIVATION OPTIONS of create]",
      "Creates the new database DEST (never replacing a file) from JSON that export wrote,\n"
      "with a new master password; the name defaults to DEST's base name. Nothing is\n"
      "written unless all of the file is read." },
    { "import", "import SOURCE DEST --plugin FILE.tvp --name NAME\n"
                "                        [--cipher AES-256|Twofish-256] [KEY-DERIVATION OPTIONS of create]",
      "Creates the new database DEST (never replacing a file) from a foreign password file,\n"
      "read by a database loader plugin: SOURCE must end in one of the plugin's file\n"
      "extensions (case matters) and may be at most 64 MiB. The plugin's option values are\n"
      "those the program keeps for it. Messages of the plugin go to standard error; its\n"
      "questions are asked only when standard input is a terminal and are refused otherwise.\n"
      "The new master password is read as by create once the file is imported." },
    { "generate", "generate [GENERATOR OPTIONS] [--count K]",
      "Prints K (default 1) passwords from the random generator." },
    { "estimate", "estimate",
      "Rates the password on the first line of standard input (or typed at the terminal)." },
    { "help", "help [COMMAND]",
      "Prints the help of one command, or of all." },
};

const char* const notes =
    "Generator options: --length N (1-100, default 13) --no-lowercase --no-uppercase\n"
    "  --no-numbers --no-minus --no-underscore --no-special\n"
    "Items are named by their full name (\"Personal - Finance - Bank\"), by a path with one\n"
    "part per level (\"/Personal/Finance - Bank\", \"\\/\" for a slash in a name, a trailing \"/\"\n"
    "for a group), or by their number from ls --index (\"@3\").\n"
    "The master password is read from the terminal, or with --password-stdin from the\n"
    "first line of standard input; a second line gives the entry password of\n"
    "add/edit --entry-password-stdin or the new master password of passwd.\n"
    "Every command takes --help. lockharbour-cli --version prints the version.\n"
    "Exit status: 0 success, 1 failure (the reason on standard error), 2 usage error.\n";

} // namespace

QString CommandHelp::overview()
{
    QString text = tr("Usage: lockharbour-cli COMMAND [ARGUMENTS] [--password-stdin]\n");
    for (const Text& entry : texts)
        text += QLatin1String("  ") + QLatin1String(entry.synopsis) + QLatin1Char('\n');
    text += tr(notes);
    return text;
}

QString CommandHelp::command(const QString& name)
{
    for (const Text& entry : texts) {
        if (name == QLatin1String(entry.name)) {
            return tr("Usage: lockharbour-cli %1\n").arg(QLatin1String(entry.synopsis))
                + tr(entry.description) + QLatin1Char('\n');
        }
    }
    return QString();
}
