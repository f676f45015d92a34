-- Imports password entries from a CSV file with a header row, as written by
-- web browsers and by the export commands of common password managers.
--
-- The file is read by RFC 4180 rules: fields separated by commas (or, when
-- the header row holds none, by semicolons or tabs), quoted fields with ""
-- for a quote and with separators and line breaks inside, CRLF, LF or CR
-- line ends and a last line with or without a break. A UTF-8 byte-order
-- mark is dropped, a UTF-16 one makes the file read as UTF-16; line breaks
-- inside fields are stored as LF. A file that is not valid UTF-8 is read as
-- Windows-1252. A file with a header row and no entries makes a warning.
--
-- Problem rows are reported in one warning after the import, by line:
-- - a row with an unterminated quote is skipped, and reading goes on at the
--   line after the one the quote is on; a quoted field spanning lines that
--   leaves its row with more fields than the header counts as unterminated;
-- - a row with more fields than the header is kept; the values without a
--   column go into the note as "Extra value" lines;
-- - text after a closing quote is kept, appended to the field, unless the
--   quoted part spans lines: then the quote is taken as unterminated.

local common -- importer-common.lua, loaded by load_database()

-- Larger files are refused before any work is done; the script's memory
-- budget would not hold them together with the entries made from them.
local MAX_FILE_SIZE = 16 * 1024 * 1024

local DEFAULT_GROUP = "Imported"

-- Header names, compared in lower case without spaces, "_", "-" and ".".
local COLUMN_NAMES = {
    title = { "title", "name", "account", "accountname", "entry", "entryname", "item", "itemname" },
    username = { "username", "loginusername", "user", "login", "loginname", "userid" },
    password = { "password", "loginpassword", "pass", "passwd", "pwd" },
    url = { "url", "loginuri", "uri", "loginurl", "website", "web", "webaddress", "site", "hostname" },
    notes = { "notes", "note", "extra", "comment", "comments" },
    group = { "group", "folder", "grouping", "category", "grouppath", "path" },
    email = { "email", "emailaddress", "mail" },
    phone = { "phone", "phonenumber", "telephone", "mobile" },
    expiry = { "expires", "expiry", "expirytime", "expirydate", "expiration", "expirationdate", "expiretime" },
    -- A one-time code link or secret: becomes the note's otpauth line.
    totp = { "totp", "logintotp" },
}

-- Bookkeeping columns of some exports and the value meaning "nothing
-- special": that value is not worth a line in the note.
local PLAIN_VALUES = {
    type = "login",
    reprompt = "0",
    favorite = "0",
    fav = "0",
    archived = "0",
}

local FIELD_OF_NAME = {}
for field, names in pairs(COLUMN_NAMES) do
    for _, name in ipairs(names) do
        FIELD_OF_NAME[name] = field
    end
end

-- Windows-1252 characters 0x80 to 0x9F; the rest of the upper half is
-- Latin-1. Holes are read as Latin-1 control characters.
local WINDOWS_1252 = {
    [0x80] = 0x20AC, [0x82] = 0x201A, [0x83] = 0x0192, [0x84] = 0x201E, [0x85] = 0x2026,
    [0x86] = 0x2020, [0x87] = 0x2021, [0x88] = 0x02C6, [0x89] = 0x2030, [0x8A] = 0x0160,
    [0x8B] = 0x2039, [0x8C] = 0x0152, [0x8E] = 0x017D, [0x91] = 0x2018, [0x92] = 0x2019,
    [0x93] = 0x201C, [0x94] = 0x201D, [0x95] = 0x2022, [0x96] = 0x2013, [0x97] = 0x2014,
    [0x98] = 0x02DC, [0x99] = 0x2122, [0x9A] = 0x0161, [0x9B] = 0x203A, [0x9C] = 0x0153,
    [0x9E] = 0x017E, [0x9F] = 0x0178,
}

-- Spreadsheet programs often save CSV files in the system's legacy code
-- page: a file that is not valid UTF-8 is read as Windows-1252.
local function windows_1252_to_utf8(data)
    return (data:gsub("[\128-\255]", function(c)
        local b = c:byte()
        return utf8.char(WINDOWS_1252[b] or b)
    end))
end

local QUOTE = 34
local CR = 13
local LF = 10

-- Counts the line breaks (CRLF, LF or CR) in a text.
local function count_breaks(text)
    if not text:find("[\r\n]") then
        return 0
    end
    local _, crlf = text:gsub("\r\n", "")
    local _, cr = text:gsub("\r", "")
    local _, lf = text:gsub("\n", "")
    return cr + lf - crlf
end

-- The position of the first quote at or after `from`, or nil. The last
-- answer is remembered: rows with unterminated quotes would otherwise scan
-- the rest of the file once each.
local quote_memo_from, quote_memo_at = nil, nil
local function next_quote(data, from)
    if quote_memo_from and quote_memo_from <= from and (quote_memo_at == nil or quote_memo_at >= from) then
        return quote_memo_at
    end
    quote_memo_from, quote_memo_at = from, data:find('"', from, true)
    return quote_memo_at
end

-- Reads one record starting at `pos` on line `line`. Returns the fields,
-- the position after the record, the line it ends on plus one, a problem
-- text or nil, and the position and line of the first quoted field that
-- spans lines (nil when none does). An unterminated quote gives no fields
-- but its position and line: the caller skips the record.
local function read_record(data, pos, line, sep, sep_pattern)
    local fields = {}
    local count = 0
    local problem = nil
    local split_pos, split_line = nil, nil
    local len = #data
    while true do
        local value
        if data:byte(pos) == QUOTE then
            local parts = {}
            local p = pos + 1
            while true do
                local q = next_quote(data, p)
                if not q then
                    return nil, pos, line, "unterminated quoted field"
                end
                parts[#parts + 1] = data:sub(p, q - 1)
                if data:byte(q + 1) == QUOTE then
                    parts[#parts + 1] = '"'
                    p = q + 2
                else
                    p = q + 1
                    break
                end
            end
            value = table.concat(parts)
            local after = data:byte(p)
            if after and after ~= sep and after ~= CR and after ~= LF then
                -- Across lines this is most likely a stray quote that
                -- swallowed the rows below it: the row is given up.
                if value:find("[\r\n]") then
                    return nil, pos, line, "unterminated quoted field"
                end
                local stop = data:find(sep_pattern, p) or len + 1
                value = value .. data:sub(p, stop - 1)
                p = stop
                problem = problem or "text after a closing quote (kept)"
            end
            local breaks = count_breaks(value)
            if breaks > 0 and not split_pos then
                split_pos, split_line = pos, line
            end
            line = line + breaks
            pos = p
        else
            local stop = data:find(sep_pattern, pos) or len + 1
            value = data:sub(pos, stop - 1)
            pos = stop
        end
        count = count + 1
        fields[count] = value
        local c = data:byte(pos)
        if c == sep then
            pos = pos + 1
        elseif c == CR then
            pos = pos + 1
            if data:byte(pos) == LF then
                pos = pos + 1
            end
            return fields, pos, line + 1, problem, split_pos, split_line
        elseif c == LF then
            return fields, pos + 1, line + 1, problem, split_pos, split_line
        else
            return fields, pos, line + 1, problem, split_pos, split_line
        end
    end
end

-- The position after the line break that ends the line holding `pos`.
local function next_line(data, pos)
    local stop = data:find("[\r\n]", pos)
    if not stop then
        return #data + 1
    end
    if data:byte(stop) == CR and data:byte(stop + 1) == LF then
        return stop + 2
    end
    return stop + 1
end

local function is_blank(fields)
    for i = 1, #fields do
        if fields[i]:find("%S") then
            return false
        end
    end
    return true
end


-- Picks the separator from the header line: a comma unless the line has
-- none but has semicolons or tabs.
local function detect_separator(data, pos)
    local stop = data:find("[\r\n]", pos) or #data + 1
    local header = data:sub(pos, stop - 1)
    if header:find(",", 1, true) then
        return ","
    elseif header:find(";", 1, true) then
        return ";"
    elseif header:find("\t", 1, true) then
        return "\t"
    end
    return ","
end

-- Maps each header column to a field; columns without a field, and repeats
-- of a field, are kept under their own header text for the note.
local function map_columns(header)
    local columns = {}
    local taken = {}
    local known = 0
    for i, text in ipairs(header) do
        local label = common.trim(text)
        local key = label:lower():gsub("[%s_%-%.]", "")
        local field = FIELD_OF_NAME[key]
        if field and not taken[field] then
            taken[field] = true
            columns[i] = { field = field, label = label }
            if field == "title" or field == "username" or field == "password" or field == "url" then
                known = known + 1
            end
        else
            columns[i] = { label = label ~= "" and label or ("Column " .. i), plain = PLAIN_VALUES[key] }
        end
    end
    return columns, known
end

local function split_group_path(text)
    local names = {}
    for part in text:gmatch("[^/]+") do
        part = common.trim(part)
        if part ~= "" then
            names[#names + 1] = part
        end
    end
    return names
end

-- Expiry columns hold an ISO 8601 date or a count of seconds since the
-- epoch; a value that is neither goes into the note.
local function apply_expiry(entry, text, notes, problems, line)
    text = common.trim(text)
    if text == "" then
        return
    end
    local seconds = common.parse_iso8601(text)
    if not seconds and text:match("^%-?%d+$") and #text <= 15 then
        seconds = math.tointeger(tonumber(text))
    end
    if seconds then
        common.set_expiry(entry, seconds, text, notes)
    else
        notes[#notes + 1] = common.note_line("Expires", text)
        problems.add(line, "expiry date not understood (kept in the note)")
    end
end

local function make_entry(database, groups, columns, fields, line, problems)
    local values = {}
    local labels = {}
    local notes = {}
    for i, value in ipairs(fields) do
        if value:find("\r", 1, true) then
            value = value:gsub("\r\n?", "\n")
        end
        local column = columns[i]
        if column then
            if column.field then
                values[column.field] = value
                labels[column.field] = column.label
            elseif value ~= "" and value:lower() ~= column.plain then
                notes[#notes + 1] = common.note_line(column.label, value)
            end
        elseif value ~= "" then
            notes[#notes + 1] = common.note_line("Extra value", value)
        end
    end

    local entry = Password.new()
    local title = common.trim(values.title or "")
    if title == "" then
        title = common.trim(values.url or "")
    end
    if title == "" then
        title = common.trim(values.username or "")
    end
    if title == "" then
        title = "Untitled"
    end
    entry:setName(common.one_line(title))
    entry:setUsername(common.one_line(values.username or ""))
    entry:setPassword(values.password or "")
    entry:setUrl(common.one_line(common.trim(values.url or "")))
    common.set_contact(entry, values.email, values.phone, notes)
    if values.expiry then
        apply_expiry(entry, values.expiry, notes, problems, line)
    end
    if values.totp and common.trim(values.totp) ~= "" then
        local link, why = common.totp_link(values.totp, entry:getName(), entry:getUsername())
        if link then
            notes[#notes + 1] = link
        else
            notes[#notes + 1] = common.note_line(labels.totp, values.totp)
            problems.add(line, "one-time code not understood: " .. why .. " (kept in the note)")
        end
    end
    entry:setNote(common.join_note(values.notes or "", notes))

    local names = split_group_path(common.one_line(values.group or ""))
    if #names == 0 then
        names = { DEFAULT_GROUP }
    end
    common.group_for_path(database, groups, names):addItem(entry)
end

function load_database(data, extension, database)
    if #data > MAX_FILE_SIZE then
        error("The file is too large to import (more than " .. (MAX_FILE_SIZE // (1024 * 1024)) .. " MiB).", 0)
    end
    common = load(plugin:loadFile("importer-common.lua"), "=importer-common.lua", "t")()

    local problems = common.new_problems()
    -- UTF-16 (as some spreadsheet programs save "Unicode text") is read
    -- when a byte-order mark says so.
    local last_line = nil
    local utf16 = common.from_utf16(data, function(line)
        if line ~= last_line then
            last_line = line
            problems.add(line, "characters that are not valid UTF-16 were replaced with U+FFFD")
        end
    end)
    data = utf16 or data
    local pos = 1
    if data:sub(1, 3) == "\239\187\191" then
        pos = 4
    end
    local line = 1
    quote_memo_from, quote_memo_at = nil, nil
    if not utf16 and not utf8.len(data, pos) then
        data = windows_1252_to_utf8(data)
        problems.add(nil, "The file is not UTF-8 text; it was read as Windows-1252.")
    end

    -- The header is the first line that is not blank.
    while pos <= #data do
        local stop = next_line(data, pos)
        if data:sub(pos, stop - 1):find("%S") then
            break
        end
        pos, line = stop, line + 1
    end
    if pos > #data then
        error("The file is empty: it holds no header row.", 0)
    end
    local sep_text = detect_separator(data, pos)
    local sep = sep_text:byte()
    local sep_pattern = "[" .. sep_text .. "\r\n]"

    local header_line = line
    local header, problem
    header, pos, line, problem = read_record(data, pos, line, sep, sep_pattern)
    if header == nil then
        error("Line " .. header_line .. ": the header row has an " .. problem .. ".", 0)
    end
    local columns, known = map_columns(header)
    if known == 0 then
        error("The first row is not a header row naming the columns (such as name, username, password and url).", 0)
    end

    local groups = {}
    local imported = 0
    while pos <= #data do
        local start_line = line
        local fields, split_pos, split_line
        fields, pos, line, problem, split_pos, split_line = read_record(data, pos, line, sep, sep_pattern)
        if fields and split_pos and #fields > #header then
            -- A quoted field that runs over lines into a row too long for
            -- the header: most likely an unterminated quote that found a
            -- closing one further down.
            fields, pos, line, problem = nil, split_pos, split_line, "unterminated quoted field"
        end
        if fields == nil then
            problems.add(start_line, problem .. "; the row was skipped")
            pos = next_line(data, pos)
            line = line + 1
        elseif not is_blank(fields) then
            if problem then
                problems.add(start_line, problem)
            end
            if #fields > #header then
                problems.add(start_line, "the row has " .. #fields .. " fields, the header " .. #header
                    .. "; the extra values went into the note")
            end
            make_entry(database, groups, columns, fields, start_line, problems)
            imported = imported + 1
        end
    end

    if imported == 0 and problems.count == 0 then
        Alert.warning("CSV Import", "No entries were found: the file holds only its header row.")
    end
    problems.report("CSV Import", "Entries imported: " .. imported .. ". Some of the file was not as expected:")
end
