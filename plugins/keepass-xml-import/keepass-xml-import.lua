-- Imports the unencrypted XML export of KeePass-family programs:
-- <KeePassFile><Meta>...</Meta><Root><Group>...</Group></Root></KeePassFile>.
--
-- The groups below the root group become top-level groups; entries kept
-- directly in the root group go into a top-level group named after it.
-- Each <Entry> gives one entry: the strings Title, UserName, Password, URL
-- and Notes fill the entry's fields, every other string becomes a note line
-- "Key: value", and <Times> gives the expiry. Earlier versions of an entry
-- (<History>) are not imported, and neither is the recycle bin: the group
-- named by <Meta><RecycleBinUUID>, or, when the file names none, a group
-- called "Recycle Bin" directly in the root group. Attached files are not
-- imported; the note names them.
--
-- The XML reader is small but strict: mismatched or unclosed tags, unknown
-- entities, stray "<" or "&" and text outside the document element fail the
-- import with the line of the fault. Comments, processing instructions,
-- CDATA sections and character references are understood, and line ends
-- in text become LF; a document type declaration is refused. UTF-16 files
-- with a byte-order mark are read; bytes that are not valid text are
-- replaced with U+FFFD and the lines where that happened are named in the
-- warning after the import. A value
-- marked Protected="True" is still encrypted (the file is not an export):
-- the import fails.

local common -- importer-common.lua, loaded by load_database()

local MAX_FILE_SIZE = 16 * 1024 * 1024
-- Elements nested deeper than this fail the import.
local MAX_DEPTH = 128

-- Seconds between 0001-01-01 and 1970-01-01, for the binary time stamps of
-- newer files.
local SECONDS_BEFORE_EPOCH = 62135596800

local function line_of(data, pos)
    local _, breaks = data:sub(1, pos - 1):gsub("\n", "")
    return breaks + 1
end

local function fail(data, pos, message)
    error("The file is not valid XML: line " .. line_of(data, pos) .. ": " .. message .. ".", 0)
end

local ENTITIES = { lt = "<", gt = ">", amp = "&", quot = '"', apos = "'" }

-- Replaces entity and character references in `text`, which begins at
-- `pos` of the document (for the line of a fault).
local function decode(data, pos, text)
    if text:find("\r", 1, true) then
        text = text:gsub("\r\n?", "\n")
    end
    if not text:find("&", 1, true) then
        return text
    end
    local parts = {}
    local i = 1
    while true do
        local amp = text:find("&", i, true)
        if not amp then
            parts[#parts + 1] = text:sub(i)
            break
        end
        parts[#parts + 1] = text:sub(i, amp - 1)
        local semi = text:find(";", amp + 1, true)
        local name = semi and text:sub(amp + 1, semi - 1)
        if not name or #name > 10 then
            fail(data, pos + amp - 1, "a \"&\" that does not begin a reference")
        end
        local replacement = ENTITIES[name]
        if not replacement then
            local code
            if name:match("^#x%x+$") then
                code = tonumber(name:sub(3), 16)
            elseif name:match("^#%d+$") then
                code = tonumber(name:sub(2), 10)
            else
                fail(data, pos + amp - 1, "unknown entity \"&" .. name .. ";\"")
            end
            if not code or code == 0 or code > 0x10FFFF or (code >= 0xD800 and code <= 0xDFFF) then
                fail(data, pos + amp - 1, "invalid character reference \"&" .. name .. ";\"")
            end
            replacement = utf8.char(code)
        end
        parts[#parts + 1] = replacement
        i = semi + 1
    end
    return table.concat(parts)
end

local NAME = "^[%a_:\128-\255][%w_:%.%-\128-\255]*"

-- Reads the document, calling handler.start(name, attributes),
-- handler.text(text) and handler.finish(name) in document order.
local function parse(data, handler)
    local pos = 1
    if data:sub(1, 3) == "\239\187\191" then
        pos = 4
    end
    local len = #data
    local stack = {}
    local depth = 0
    local seen_root = false

    while pos <= len do
        local lt = data:find("<", pos, true)
        local text_end = (lt or len + 1) - 1
        if text_end >= pos then
            local text = data:sub(pos, text_end)
            if depth == 0 then
                local stray = text:find("%S")
                if stray then
                    fail(data, pos + stray - 1, "text outside the document element")
                end
            else
                if text:find(">", 1, true) and text:find("]]>", 1, true) then
                    fail(data, pos + text:find("]]>", 1, true) - 1, "\"]]>\" in text")
                end
                handler.text(decode(data, pos, text))
            end
        end
        if not lt then
            break
        end
        pos = lt
        if data:sub(pos, pos + 3) == "<!--" then
            local close = data:find("-->", pos + 4, true)
            if not close then
                fail(data, pos, "unterminated comment")
            end
            pos = close + 3
        elseif data:sub(pos, pos + 8) == "<![CDATA[" then
            if depth == 0 then
                fail(data, pos, "CDATA section outside the document element")
            end
            local close = data:find("]]>", pos + 9, true)
            if not close then
                fail(data, pos, "unterminated CDATA section")
            end
            handler.text((data:sub(pos + 9, close - 1):gsub("\r\n?", "\n")))
            pos = close + 3
        elseif data:sub(pos, pos + 1) == "<?" then
            local close = data:find("?>", pos + 2, true)
            if not close then
                fail(data, pos, "unterminated processing instruction")
            end
            pos = close + 2
        elseif data:sub(pos, pos + 1) == "<!" then
            fail(data, pos, "document type declarations are not supported")
        elseif data:sub(pos, pos + 1) == "</" then
            local name = data:match(NAME, pos + 2)
            if not name then
                fail(data, pos, "an end tag without a name")
            end
            local close = data:match("^%s*()>", pos + 2 + #name)
            if not close then
                fail(data, pos, "end tag </" .. name .. " is not closed by \">\"")
            end
            if depth == 0 then
                fail(data, pos, "end tag </" .. name .. "> without a start tag")
            end
            if stack[depth] ~= name then
                fail(data, pos, "end tag </" .. name .. "> where </" .. stack[depth] .. "> was expected")
            end
            stack[depth] = nil
            depth = depth - 1
            handler.finish(name)
            pos = close + 1
        else
            local name = data:match(NAME, pos + 1)
            if not name then
                fail(data, pos, "a \"<\" that does not begin a tag")
            end
            if depth == 0 and seen_root then
                fail(data, pos, "a second document element <" .. name .. ">")
            end
            local p = pos + 1 + #name
            local attributes = {}
            local empty = false
            while true do
                local space, after = data:match("^(%s*)()", p)
                p = after
                local c = data:sub(p, p)
                if c == ">" then
                    p = p + 1
                    break
                elseif c == "/" and data:sub(p + 1, p + 1) == ">" then
                    empty = true
                    p = p + 2
                    break
                elseif c == "" then
                    fail(data, pos, "start tag <" .. name .. " is not closed")
                end
                local attribute = data:match(NAME, p)
                if not attribute or space == "" then
                    fail(data, p, "malformed attribute in <" .. name .. ">")
                end
                local quote, value_start = data:match("^%s*=%s*([\"'])()", p + #attribute)
                if not quote then
                    fail(data, p, "attribute " .. attribute .. " has no quoted value")
                end
                local value_end = data:find(quote, value_start, true)
                if not value_end then
                    fail(data, p, "unterminated value of attribute " .. attribute)
                end
                local value = data:sub(value_start, value_end - 1)
                if value:find("<", 1, true) then
                    fail(data, p, "\"<\" in the value of attribute " .. attribute)
                end
                if attributes[attribute] ~= nil then
                    fail(data, p, "attribute " .. attribute .. " appears twice")
                end
                attributes[attribute] = decode(data, value_start, value)
                p = value_end + 1
            end
            seen_root = true
            if depth >= MAX_DEPTH then
                fail(data, pos, "elements are nested more than " .. MAX_DEPTH .. " deep")
            end
            handler.start(name, attributes)
            if empty then
                handler.finish(name)
            else
                depth = depth + 1
                stack[depth] = name
            end
            pos = p
        end
    end
    if depth > 0 then
        fail(data, len + 1, "the file ends before </" .. stack[depth] .. ">")
    end
    if not seen_root then
        fail(data, len + 1, "the file holds no document element")
    end
end

local function decode_base64(text)
    local alphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
    text = text:gsub("%s", ""):gsub("=+$", "")
    if text:find("[^%w%+/]") then
        return nil
    end
    local bits, count, out = 0, 0, {}
    for i = 1, #text do
        bits = (bits << 6) | (alphabet:find(text:sub(i, i), 1, true) - 1)
        count = count + 6
        if count >= 8 then
            count = count - 8
            out[#out + 1] = string.char((bits >> count) & 0xFF)
        end
    end
    return table.concat(out)
end

-- <ExpiryTime> holds an ISO 8601 time, or in newer files the Base64 form of
-- a little-endian 64-bit count of seconds since 0001-01-01.
local function parse_time(text)
    local seconds = common.parse_iso8601(text)
    if seconds then
        return seconds
    end
    local bytes = decode_base64(text)
    if bytes and #bytes == 8 then
        return string.unpack("<i8", bytes) - SECONDS_BEFORE_EPOCH
    end
    return nil
end

local FIELD_OF_KEY = { Title = "title", UserName = "username", Password = "password", URL = "url", Notes = "notes" }

-- The strings of KeePass's own one-time code settings, by the setting each
-- gives; "otp" holds a link.
local TIME_OTP_KEYS = {
    ["TimeOtp-Secret-Base32"] = "secret",
    ["TimeOtp-Length"] = "digits",
    ["TimeOtp-Period"] = "period",
    ["TimeOtp-Algorithm"] = "algorithm",
}

-- Turns the entry's one-time code strings into the note's otpauth line: the
-- "otp" link, or else the TimeOtp-* settings. Strings that give no link are
-- kept as note lines.
local function add_totp_line(e, title, problems)
    if #e.otp == 0 then
        return
    end
    local link_text, settings = nil, {}
    for _, item in ipairs(e.otp) do
        if item.key == "otp" then
            link_text = link_text or item.value
        else
            settings[TIME_OTP_KEYS[item.key]] = item.value
        end
    end
    local link, why, used
    if link_text then
        link, why = common.totp_link(link_text, title, e.fields.username)
        used = link and "otp"
    end
    if not link and settings.secret then
        local time_link, time_why = common.totp_link(settings.secret, title, e.fields.username, settings)
        if time_link then
            link, used = time_link, "TimeOtp"
        else
            why = why or time_why
        end
    end
    for _, item in ipairs(e.otp) do
        local consumed = (used == "otp" and item.key == "otp") or (used == "TimeOtp" and item.key ~= "otp")
        if not consumed then
            e.lines[#e.lines + 1] = common.note_line(item.key, item.value)
        end
    end
    if link then
        e.lines[#e.lines + 1] = link
    end
    if why then
        problems.add(nil, "Entry \"" .. title .. "\": one-time code not understood: " .. why .. " (kept in the note)")
    end
end

-- Builds the database while the document is read: one context per open
-- <Group> and <Entry>; what lies in <History> is passed over.
local function make_handler(database, problems)
    local h = {}
    local names = {}            -- open element names
    local text = {}             -- text of the innermost element so far
    local skip_depth = nil      -- inside <History>: the depth it began at
    local recycle_uuid = nil
    local group = nil           -- innermost open group context
    local entry = nil           -- open entry context
    local string_key, string_value = nil, nil
    local root_entries_group = nil
    h.imported, h.skipped_groups = 0, 0

    local function parent_name()
        return names[#names - 1]
    end

    function h.start(name, attributes)
        names[#names + 1] = name
        text = {}
        if skip_depth then
            return
        end
        if #names == 1 and name ~= "KeePassFile" then
            error("The file is not a KeePass XML export: its document element is <" .. name .. ">.", 0)
        end
        local parent = parent_name()
        if name == "History" and entry then
            skip_depth = #names
        elseif name == "Group" and (parent == "Root" or (parent == "Group" and group)) and not entry then
            group = { object = Group.new(), parent = group, is_root = parent == "Root", notes = "" }
        elseif name == "Entry" and parent == "Group" and group and not entry then
            entry = { object = Password.new(), fields = {}, lines = {}, group = group, otp = {} }
        elseif name == "String" and entry and parent == "Entry" then
            string_key, string_value = nil, nil
        elseif name == "Value" and entry and parent == "String" and attributes.Protected
            and attributes.Protected:lower() == "true" then
            error("The file holds encrypted values (Protected=\"True\"): it is not an unencrypted XML export.", 0)
        end
    end

    function h.text(value)
        if not skip_depth then
            text[#text + 1] = value
        end
    end

    local function finish_entry()
        local e = entry
        entry = nil
        local p = e.object
        local title = e.fields.title or ""
        if title == "" then
            title = e.fields.url or ""
        end
        if title == "" then
            title = "Untitled"
        end
        p:setName(common.one_line(title))
        p:setUsername(common.one_line(e.fields.username or ""))
        p:setPassword(e.fields.password or "")
        p:setUrl(common.one_line(e.fields.url or ""))
        common.set_contact(p, e.email, nil, e.lines)
        add_totp_line(e, title, problems)
        if e.expires and e.expiry_text then
            local seconds = parse_time(e.expiry_text)
            if seconds then
                common.set_expiry(p, seconds, e.expiry_text, e.lines)
            else
                e.lines[#e.lines + 1] = common.note_line("Expires", e.expiry_text)
                problems.add(nil, "Entry \"" .. title .. "\": expiry time \"" .. e.expiry_text .. "\" not understood (kept in the note)")
            end
        end
        p:setNote(common.join_note(e.fields.notes or "", e.lines))
        local g = e.group
        if g.is_root then
            if not root_entries_group then
                root_entries_group = Group.new()
                root_entries_group:setName(g.name or "Root")
                database:addGroup(root_entries_group)
            end
            root_entries_group:addItem(p)
        else
            g.object:addItem(p)
        end
        h.imported = h.imported + 1
    end

    local function finish_group()
        local g = group
        group = g.parent
        local is_recycle_bin
        if recycle_uuid then
            is_recycle_bin = g.uuid == recycle_uuid
        else
            is_recycle_bin = g.parent and g.parent.is_root and g.name == "Recycle Bin"
        end
        if is_recycle_bin then
            h.skipped_groups = h.skipped_groups + 1
            return -- not attached: collected with its contents
        end
        if g.is_root then
            if g.notes ~= "" and database:getNote() == "" then
                database:setNote(g.notes)
            end
        elseif g.parent and g.parent.is_root then
            database:addGroup(g.object)
        elseif g.parent then
            g.parent.object:addItem(g.object)
        end
    end

    function h.finish(name)
        local value = table.concat(text)
        text = {}
        local depth = #names
        local parent = parent_name()
        names[depth] = nil
        if skip_depth then
            if depth == skip_depth then
                skip_depth = nil
            end
            return
        end
        if entry then
            if name == "Entry" and parent == "Group" then
                finish_entry()
            elseif parent == "String" then
                if name == "Key" then
                    string_key = value
                elseif name == "Value" then
                    string_value = value
                end
            elseif name == "String" and parent == "Entry" then
                if string_key then
                    local field = FIELD_OF_KEY[string_key]
                    local v = string_value or ""
                    if field then
                        entry.fields[field] = v
                    elseif (string_key == "otp" or TIME_OTP_KEYS[string_key]) and v ~= "" then
                        entry.otp[#entry.otp + 1] = { key = string_key, value = v }
                    elseif string_key:lower():gsub("[%s%-_]", "") == "email" then
                        entry.email = v
                    elseif v ~= "" then
                        entry.lines[#entry.lines + 1] = common.note_line(string_key, v)
                    end
                end
            elseif parent == "Times" then
                if name == "Expires" then
                    entry.expires = value:lower() == "true"
                elseif name == "ExpiryTime" then
                    entry.expiry_text = value
                end
            elseif name == "Tags" and parent == "Entry" and value ~= "" then
                entry.lines[#entry.lines + 1] = common.note_line("Tags", value)
            elseif name == "Key" and parent == "Binary" then
                entry.lines[#entry.lines + 1] = common.note_line("Attached file (not imported)", value)
            end
        elseif group then
            if name == "Group" then
                finish_group()
            elseif parent == "Group" then
                if name == "Name" then
                    group.name = value
                    group.object:setName(common.one_line(value))
                elseif name == "Notes" then
                    group.notes = value
                    group.object:setNote(value)
                elseif name == "UUID" then
                    group.uuid = value
                end
            end
        elseif parent == "Meta" and name == "RecycleBinUUID" then
            if value ~= "" and value ~= "AAAAAAAAAAAAAAAAAAAAAA==" then
                recycle_uuid = value
            end
        end
    end

    return h
end

function load_database(data, extension, database)
    if #data > MAX_FILE_SIZE then
        error("The file is too large to import (more than " .. (MAX_FILE_SIZE // (1024 * 1024)) .. " MiB).", 0)
    end
    common = load(plugin:loadFile("importer-common.lua"), "=importer-common.lua", "t")()
    local problems = common.new_problems()
    -- Text that is not UTF-8 is repaired, and each line where that was
    -- needed is named, instead of silently turning into U+FFFD.
    local last_line = nil
    local function replaced(line)
        if line ~= last_line then
            last_line = line
            problems.add(line, "bytes that are not valid text were replaced with U+FFFD")
        end
    end
    data = common.from_utf16(data, replaced) or data
    data = common.repair_utf8(data, replaced)
    local handler = make_handler(database, problems)
    parse(data, handler)
    problems.report("KeePass XML Import", "Entries imported: " .. handler.imported .. ". Some values could not be read:")
end
