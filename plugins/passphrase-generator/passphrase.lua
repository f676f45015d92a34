-- Passphrase generator: words drawn uniformly at random from a word list.
--
-- The list is the plugin file's entry "eff_large_wordlist.txt": one word a
-- line, optionally after its dice number ("11111<tab>abacus"). It is read
-- once, at the first generation, and kept in the global `wordList`.
--
-- Options (the table `options`, published before each call):
--   wordCount       number of words, 3 to 20
--   separator       text put between the words
--   capitalisation  "none", "first" (first letter of each word) or "all"
--   appendDigit     when true, a random digit follows the last word
--
-- Every draw uses math.random(n), which the host serves from the system's
-- secure random source without modulo bias.

local WORD_LIST_ENTRY = "eff_large_wordlist.txt"
local MIN_WORDS, MAX_WORDS, DEFAULT_WORDS = 3, 20, 6

wordList = nil

-- The words of `text`, each once, in the order of the list. A line holds a
-- word, or a dice number (digits 1 to 6) and then the word; blank lines
-- are skipped.
local function parseWordList(text)
    local words, seen = {}, {}
    for line in string.gmatch(text, "[^\r\n]+") do
        local word = string.match(line, "^%s*[1-6]+%s+(%S+)%s*$")
            or string.match(line, "^%s*(%S+)%s*$")
        if word and not seen[word] then
            seen[word] = true
            words[#words + 1] = word
        end
    end
    return words
end

local function loadWordList()
    if wordList then
        return wordList
    end
    local text = plugin:loadFile(WORD_LIST_ENTRY)
    if not text then
        error("the word list " .. WORD_LIST_ENTRY .. " is missing from the plugin", 0)
    end
    local words = parseWordList(text)
    if #words < 2 then
        error("the word list " .. WORD_LIST_ENTRY .. " holds fewer than two words", 0)
    end
    wordList = words
    plugin:logLine(string.format("Word list loaded: %d words", #words))
    return wordList
end

local function wordCount()
    local count = math.tointeger(options and options.wordCount) or DEFAULT_WORDS
    if count < MIN_WORDS then
        return MIN_WORDS
    elseif count > MAX_WORDS then
        return MAX_WORDS
    end
    return count
end

local function capitalised(word, mode)
    if mode == "all" then
        return string.upper(word)
    elseif mode == "first" then
        return string.upper(string.sub(word, 1, 1)) .. string.sub(word, 2)
    end
    return word
end

function generatePassword()
    local words = loadWordList()
    local separator = options and options.separator
    if type(separator) ~= "string" then
        separator = "-"
    end
    local mode = options and options.capitalisation or "none"

    local chosen = {}
    for i = 1, wordCount() do
        chosen[i] = capitalised(words[math.random(#words)], mode)
    end
    local passphrase = table.concat(chosen, separator)
    if options and options.appendDigit then
        passphrase = passphrase .. tostring(math.random(0, 9))
    end
    return passphrase
end
