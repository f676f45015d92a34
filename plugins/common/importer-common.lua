-- Helpers shared by the importers that ship with Lockharbour. Packed into
-- each importer's plugin file as "importer-common.lua" and loaded with
-- plugin:loadFile() once the plugin classes exist.

local M = {}

-- The range of expiry times every version of the object API can hold.
M.LATEST_TIME = 2147483647
M.EARLIEST_TIME = -2147483648

-- At most this many problems are listed in the warning after an import.
M.MAX_LISTED_PROBLEMS = 20
-- Longest text of one listed problem, in bytes.
local MAX_PROBLEM_TEXT = 200

-- The text without white space at either end. Scans from both ends, so
-- that long runs of spaces cost no more than their length.
function M.trim(text)
    local first = text:find("%S")
    if not first then
        return ""
    end
    local last = #text
    while true do
        local b = text:byte(last)
        if b == 32 or (b >= 9 and b <= 13) then
            last = last - 1
        else
            break
        end
    end
    return text:sub(first, last)
end

-- A text for a one-line field (name, user name, URL): line breaks become
-- spaces.
function M.one_line(text)
    if text:find("\n", 1, true) then
        return (text:gsub("\n", " "))
    end
    return text
end

-- Days from 1970-01-01 to the given date of the proleptic Gregorian calendar.
function M.days_from_civil(y, m, d)
    if m <= 2 then
        y = y - 1
    end
    local era = (y >= 0 and y or y - 399) // 400
    local yoe = y - era * 400
    local mp = (m + 9) % 12
    local doy = (153 * mp + 2) // 5 + d - 1
    local doe = yoe * 365 + yoe // 4 - yoe // 100 + doy
    return era * 146097 + doe - 719468
end

local function is_leap(y)
    return (y % 4 == 0 and y % 100 ~= 0) or y % 400 == 0
end

local MONTH_DAYS = { 31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31 }

function M.days_in_month(y, m)
    if m == 2 and is_leap(y) then
        return 29
    end
    return MONTH_DAYS[m]
end

-- Parses an ISO 8601 date, optionally followed by a time ("T" or a space
-- between them), fractions of a second and a zone ("Z" or +hh:mm / -hhmm).
-- A time without a zone is taken as UTC. Returns seconds since the epoch,
-- or nil when the text is not such a date.
function M.parse_iso8601(text)
    if type(text) ~= "string" then
        return nil
    end
    text = M.trim(text)
    local y, mo, d, rest = text:match("^(%d%d%d%d)%-(%d%d)%-(%d%d)(.*)$")
    if not y then
        return nil
    end
    y, mo, d = tonumber(y), tonumber(mo), tonumber(d)
    if mo < 1 or mo > 12 or d < 1 or d > M.days_in_month(y, mo) then
        return nil
    end
    local h, mi, s, offset = 0, 0, 0, 0
    if rest ~= "" then
        local hh, mm, tail = rest:match("^[Tt ](%d%d):(%d%d)(.*)$")
        if not hh then
            return nil
        end
        h, mi = tonumber(hh), tonumber(mm)
        local ss, tail2 = tail:match("^:(%d%d)(.*)$")
        if ss then
            s = tonumber(ss)
            tail = tail2:gsub("^[%.,]%d+", "", 1)
        end
        if h > 23 or mi > 59 or s > 60 then
            return nil
        end
        if tail == "Z" or tail == "z" then
            offset = 0
        elseif tail ~= "" then
            local sign, oh, om = tail:match("^([%+%-])(%d%d):?(%d%d)$")
            if not sign then
                sign, oh = tail:match("^([%+%-])(%d%d)$")
                om = "00"
            end
            if not sign or tonumber(oh) > 23 or tonumber(om) > 59 then
                return nil
            end
            offset = (tonumber(oh) * 60 + tonumber(om)) * 60
            if sign == "-" then
                offset = -offset
            end
        end
    end
    return M.days_from_civil(y, mo, d) * 86400 + h * 3600 + mi * 60 + s - offset
end

-- Sets the expiry of `entry` to `seconds` since the epoch. When the entry
-- cannot hold that time, the nearest time a signed 32-bit count of seconds
-- gives is set instead, and the text as written is kept in the note lines
-- `notes`.
function M.set_expiry(entry, seconds, text, notes)
    entry:setNeverExpire(false)
    entry:setExpireTime(seconds)
    if entry:getExpireTime() == seconds then
        return
    end
    local clamped = math.max(M.EARLIEST_TIME, math.min(M.LATEST_TIME, seconds))
    entry:setExpireTime(clamped)
    notes[#notes + 1] = M.note_line("Expires", text)
end

-- A note line "Label: value"; a value spanning lines keeps its breaks.
function M.note_line(label, value)
    return label .. ": " .. value
end

-- Joins the entry's own note with the extra lines gathered for it.
function M.join_note(note, lines)
    if #lines == 0 then
        return note
    end
    local extra = table.concat(lines, "\n")
    if note == nil or note == "" then
        return extra
    end
    return note .. "\n\n" .. extra
end

-- Sets e-mail address and phone number where the object API has setters
-- for them; otherwise they become note lines.
function M.set_contact(entry, email, phone, notes)
    email = email and M.one_line(email)
    phone = phone and M.one_line(phone)
    if email and email ~= "" then
        if entry.setEmailAddress then
            entry:setEmailAddress(email)
        else
            notes[#notes + 1] = M.note_line("E-mail", email)
        end
    end
    if phone and phone ~= "" then
        if entry.setPhoneNumber then
            entry:setPhoneNumber(phone)
        else
            notes[#notes + 1] = M.note_line("Phone", phone)
        end
    end
end

-- Percent-encodes a part of a link.
local function url_encode(text)
    return (text:gsub("[^%w%-%._~:@]", function(c)
        return string.format("%%%02X", c:byte())
    end))
end

-- Longest bare secret taken: the program reads secrets of up to 256 bytes.
local MAX_SECRET_TEXT = 410

-- A one-time code secret as the note line the program reads the codes from:
-- an otpauth://totp/ link is kept as it is; a bare Base32 secret (any
-- letter case, spaces and padding allowed) becomes such a link named after
-- the entry, with the settings from `settings` (digits, period, algorithm
-- such as "SHA256" or KeePass's "HMAC-SHA-256"; SHA1, 6 and 30 when
-- absent). Returns nil and the reason for any other value.
function M.totp_link(value, name, username, settings)
    value = M.trim(M.one_line(value))
    if value:sub(1, 15):lower() == "otpauth://totp/" then
        return value
    end
    if value:sub(1, 8):lower() == "otpauth:" then
        return nil, "only time-based links (otpauth://totp/) give codes"
    end
    local secret = value:gsub("%s", ""):gsub("=+$", ""):upper()
    if secret == "" or secret:find("[^A-Z2-7]") then
        return nil, "the secret is not Base32 text"
    end
    if #secret > MAX_SECRET_TEXT then
        return nil, "the secret is too long"
    end
    settings = settings or {}
    local function setting(key, default)
        local text = settings[key] and M.trim(settings[key]) or ""
        return text ~= "" and text or default
    end
    local algorithm = setting("algorithm", "SHA1"):upper():gsub("^HMAC%-", ""):gsub("%-", "")
    if algorithm ~= "SHA1" and algorithm ~= "SHA256" and algorithm ~= "SHA512" then
        return nil, "the algorithm " .. setting("algorithm", "") .. " is not SHA1, SHA256 or SHA512"
    end
    local digits = math.tointeger(tonumber(setting("digits", "6")))
    if not digits or digits < 6 or digits > 8 then
        return nil, "the number of digits is not 6, 7 or 8"
    end
    local period = math.tointeger(tonumber(setting("period", "30")))
    if not period or period < 1 or period > 86400 then
        return nil, "the period is not a whole number of seconds from 1 to 86400"
    end
    local label = name
    if username and username ~= "" then
        label = name .. ":" .. username
    end
    return "otpauth://totp/" .. url_encode(label) .. "?secret=" .. secret .. "&issuer=" .. url_encode(name)
        .. "&algorithm=" .. algorithm .. "&digits=" .. digits .. "&period=" .. period
end

-- Problems found while reading a file, reported together at the end.
function M.new_problems()
    local problems = { count = 0, list = {} }
    function problems.add(line, text)
        problems.count = problems.count + 1
        if problems.count <= M.MAX_LISTED_PROBLEMS then
            if #text > MAX_PROBLEM_TEXT then
                text = text:sub(1, MAX_PROBLEM_TEXT) .. "..."
            end
            if line then
                problems.list[#problems.list + 1] = "Line " .. line .. ": " .. text
            else
                problems.list[#problems.list + 1] = text
            end
        end
    end
    -- Shows one warning listing the problems, when there were any.
    function problems.report(title, intro)
        if problems.count == 0 then
            return
        end
        local text = intro .. "\n\n" .. table.concat(problems.list, "\n")
        local more = problems.count - #problems.list
        if more > 0 then
            text = text .. "\n... and " .. more .. " more."
        end
        Alert.warning(title, text)
    end
    return problems
end

local REPLACEMENT = "\239\191\189" -- U+FFFD

-- The text of a file that starts with a UTF-16 byte-order mark (either byte
-- order), as UTF-8 without the mark; nil for any other file. Units that form
-- no character (an unpaired surrogate, an odd last byte) become U+FFFD, and
-- `replaced(line)` is called for each with the number of its line.
function M.from_utf16(data, replaced)
    local big
    if data:sub(1, 2) == "\255\254" then
        big = false
    elseif data:sub(1, 2) == "\254\255" then
        big = true
    else
        return nil
    end
    local line = 1
    local high = nil
    local function bad()
        replaced(line)
        return REPLACEMENT
    end
    local body = data:sub(3)
    local odd = #body % 2 == 1
    if odd then
        body = body:sub(1, -2)
    end
    local text = body:gsub("..", function(pair)
        local a, b = pair:byte(1, 2)
        local unit = big and a * 256 + b or b * 256 + a
        local out = ""
        if high then
            if unit >= 0xDC00 and unit <= 0xDFFF then
                local code = 0x10000 + (high - 0xD800) * 0x400 + (unit - 0xDC00)
                high = nil
                return utf8.char(code)
            end
            high = nil
            out = bad()
        end
        if unit >= 0xD800 and unit <= 0xDBFF then
            high = unit
            return out
        end
        if unit >= 0xDC00 and unit <= 0xDFFF then
            return out .. bad()
        end
        if unit == 10 then
            line = line + 1
        end
        return out .. utf8.char(unit)
    end)
    if high then
        text = text .. bad()
    end
    if odd then
        text = text .. bad()
    end
    return text
end

-- True for one well-formed UTF-8 character of a code point the program
-- keeps: no surrogate, nothing above U+10FFFF (Lua's utf8 library lets
-- both through).
local function is_character(bytes)
    return utf8.len(bytes) == 1 and not bytes:find("^\237[\160-\191]") and not bytes:find("^\244[\144-\191]")
        and not bytes:find("^[\245-\255]")
end

-- `data` with every byte sequence that is not UTF-8 replaced by U+FFFD, as
-- the program would store it anyway; `replaced(line)` is called for each
-- with the number of its line. A file of valid UTF-8 comes back unchanged.
function M.repair_utf8(data, replaced)
    if utf8.len(data) and not data:find("\237[\160-\191]") and not data:find("\244[\144-\191]")
        and not data:find("[\245-\255]") then
        return data
    end
    local line, counted = 1, 1
    local function line_at(pos)
        local _, breaks = data:sub(counted, pos - 1):gsub("\n", "")
        line, counted = line + breaks, pos
        return line
    end
    -- Each lead byte with the continuation bytes after it.
    return (data:gsub("()([\128-\255][\128-\191]*)", function(pos, run)
        local lead = run:byte(1)
        local need = lead >= 0xF0 and 4 or lead >= 0xE0 and 3 or lead >= 0xC2 and 2 or 0
        local head = run:sub(1, need)
        if need > 0 and #head == need and is_character(head) then
            if #run == need then
                return nil
            end
            replaced(line_at(pos))
            return head .. REPLACEMENT
        end
        replaced(line_at(pos))
        return REPLACEMENT
    end))
end

-- Finds or makes the group for a path of names below the top level. Groups
-- are looked up in `cache` (a table this function fills), so that entries
-- naming the same path share their groups.
function M.group_for_path(database, cache, names)
    local key = ""
    local parent = nil
    for i = 1, #names do
        key = key .. "\0" .. names[i]
        local group = cache[key]
        if not group then
            group = Group.new()
            group:setName(names[i])
            if parent then
                parent:addItem(group)
            else
                database:addGroup(group)
            end
            cache[key] = group
        end
        parent = group
    end
    return parent
end

return M
