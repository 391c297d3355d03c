-- sim7100.lua: Wireshark dissector for the TCP link between sim7100d and the
-- RTOS side.  The daemon is the TCP client; the RTOS side listens on the
-- port of the preference (50001 unless changed).  Frames from the listening
-- side are requests and terminate, frames to it the registration and the
-- responses.  Load it from a plugin folder or with -X lua_script:sim7100.lua;
-- see docs/wireshark.md.
--
-- The vocabulary and the meanings below are generated from
-- protocol/sim7100_protocol.h and protocol/sim7100_meanings.h by the build
-- (tools/wireshark/lua_tables.c), never copied by hand.

--@TABLES@

local DEFAULT_PORT = 50001

-- What errCode says, by request type; "" when it says nothing.  sim7100ctl
-- reads the same lists the same way (tools/sim7100ctl/ctl_output.cpp).
local function err_meaning(type, status, code)
    if code < 0 and ERR_CODE[code] then
        return ERR_CODE[code]
    end
    if code == 0 and status ~= STATUS_OK and status ~= STATUS_CHIP_TYPE then
        return ""
    end
    local kind = CODE_KIND[type]
    if not kind then
        return ""
    elseif kind.kind == CODE_CHIP_TYPE then
        return CHIP_TYPE[code] and (kind.what .. ": " .. CHIP_TYPE[code]) or ""
    elseif kind.kind == CODE_SMS_MODE then
        return kind.what .. ": " .. (code == SMS_MODE_PDU and SMS_MODE_PDU_NAME or SMS_MODE_TEXT_NAME)
    elseif kind.kind == CODE_SIM_STATE then
        return code == SIM_STATE_UNNAMED and kind.what or ""
    end
    return kind.what
end

-- Bytes as sim7100ctl shows them: printable ASCII as it is, the backslash
-- doubled, CR, LF and tab as \r \n \t, every other byte as \xNN.
local ESCAPES = { [9] = "\\t", [10] = "\\n", [13] = "\\r", [92] = "\\\\" }
local function escaped(raw)
    return (raw:gsub("[%c\\\128-\255]", function(c)
        local b = c:byte()
        return ESCAPES[b] or string.format("\\x%02x", b)
    end))
end

-- A frame header whose length no side would send: bytes of something else
-- (text typed into the port, a stream picked up mid-frame).
local MAX_PLAUSIBLE = 0x100000
local function implausible(length, type)
    return length > MAX_PLAUSIBLE or (length > 0xFFFF and type > MSG_LAST)
end

local sim7100 = Proto("sim7100", "SIM7100 daemon link")

local TYPE_NAMES = { [MSG_REGISTER] = "Register", [MSG_TERMINATE] = "Terminate" }
for number, request in pairs(REQUEST_TYPES) do
    TYPE_NAMES[number] = request.name
end

local DIRECTIONS = { [1] = "RTOS side to daemon", [2] = "daemon to RTOS side" }
local TO_DAEMON, TO_RTOS = 1, 2

local pf = {
    length = ProtoField.uint32("sim7100.length", "Payload length", base.DEC),
    type = ProtoField.uint32("sim7100.type", "Message type", base.DEC, TYPE_NAMES),
    direction = ProtoField.uint8("sim7100.direction", "Direction", base.DEC, DIRECTIONS),
    request_text = ProtoField.string("sim7100.request_text", "Text"),
    ignored = ProtoField.bytes("sim7100.ignored", "Payload not read"),
    cmdstatus = ProtoField.int32("sim7100.cmdstatus", "cmdStatus", base.DEC, CMD_STATUS),
    errcode = ProtoField.int32("sim7100.errcode", "errCode", base.DEC),
    meaning = ProtoField.string("sim7100.errcode.meaning", "errCode meaning"),
    text = ProtoField.string("sim7100.text", "Text"),
    line = ProtoField.string("sim7100.text.line", "Line"),
    sms_status = ProtoField.string("sim7100.sms_status", "SMS status selected"),
    sms_mode = ProtoField.string("sim7100.sms_mode", "SMS mode"),
    not_frame = ProtoField.bytes("sim7100.not_frame", "Bytes that are not a frame"),
    response_in = ProtoField.framenum("sim7100.response_in", "Response in", base.NONE, frametype.RESPONSE),
    request_in = ProtoField.framenum("sim7100.request_in", "Request in", base.NONE, frametype.REQUEST),
    time = ProtoField.double("sim7100.time", "Round trip (ms)"),
}

-- One filter field per layout field: sim7100.<request>.<field>.
for _, request in pairs(REQUEST_TYPES) do
    for _, field in ipairs(request.fields) do
        local abbrev = "sim7100." .. request.name:lower() .. "." .. field.name:lower()
        if field.kind == FIELD_BYTE then
            field.pf = ProtoField.uint8(abbrev, field.name, base.DEC)
        else
            field.pf = ProtoField.string(abbrev, field.name)
        end
        pf[abbrev] = field.pf
    end
end

local fields = {}
for _, f in pairs(pf) do
    table.insert(fields, f)
end
sim7100.fields = fields

-- Warnings: what the daemon refuses, and a link that is out of order.  What
-- the daemon serves gets at most a note.
local ex = {
    short = ProtoExpert.new("sim7100.short", "Payload shorter than the request needs: refused",
        expert.group.MALFORMED, expert.severity.WARN),
    unterminated = ProtoExpert.new("sim7100.unterminated", "String not terminated within its field: refused",
        expert.group.MALFORMED, expert.severity.WARN),
    empty = ProtoExpert.new("sim7100.empty", "Empty text: refused", expert.group.MALFORMED, expert.severity.WARN),
    unknown = ProtoExpert.new("sim7100.unknown", "Unknown message type: no response", expert.group.PROTOCOL,
        expert.severity.WARN),
    long = ProtoExpert.new("sim7100.long", "Payload longer than the request reads: the rest is ignored",
        expert.group.PROTOCOL, expert.severity.NOTE),
    bad_length = ProtoExpert.new("sim7100.bad_length", "Response record of the wrong length",
        expert.group.MALFORMED, expert.severity.WARN),
    register_payload = ProtoExpert.new("sim7100.register_payload", "Registration frame with a payload",
        expert.group.MALFORMED, expert.severity.WARN),
    orphan = ProtoExpert.new("sim7100.orphan", "Response to no request of its type", expert.group.SEQUENCE,
        expert.severity.WARN),
    unanswered = ProtoExpert.new("sim7100.unanswered", "Request without a response in the capture",
        expert.group.SEQUENCE, expert.severity.WARN),
    not_frame = ProtoExpert.new("sim7100.not_frame", "Not a frame of this link", expert.group.MALFORMED,
        expert.severity.WARN),
}
sim7100.experts = { ex.short, ex.unterminated, ex.empty, ex.unknown, ex.long, ex.bad_length, ex.register_payload,
    ex.orphan, ex.unanswered, ex.not_frame }

sim7100.prefs.port = Pref.uint("TCP port", DEFAULT_PORT, "The port the RTOS side listens on")

-- Pairing: the daemon answers its requests one at a time, in order, one
-- response each; nothing else ties a response to its request.
local pending -- link -> queue of requests still unanswered
local pairs_of -- PDU key -> { request = frame } or { response = frame }, with ms
local orphans -- PDU key -> the request type the queue expected, or 0 for none

function sim7100.init()
    pending = {}
    pairs_of = {}
    orphans = {}
end

-- A frame may carry several PDUs and end a reassembled one as well; the
-- PDU's offset within its backing buffer tells them apart.
local function pdu_key(tvb, pinfo)
    return pinfo.number .. "/" .. tvb:offset()
end

-- Characters up to the first zero byte, and whether there was one.
local function zstring(range)
    local raw = range:raw()
    local zero = raw:find("\0", 1, true)
    if zero then
        return raw:sub(1, zero - 1), true
    end
    return raw, false
end

local function add_string(tree, field, range)
    local value, terminated = zstring(range)
    return tree:add(field, range, escaped(value)), terminated
end

-- A long text as lines of its own, each cut where its shown form would
-- pass what an item shows, so -V and the packet details carry it whole.
local LINE_CHUNK = 200
local function add_lines(item, range, text)
    local start = 1
    while start <= #text do
        local stop = text:find("[\r\n]", start) or (#text + 1)
        local at = start
        repeat
            local last, shown = at, 0
            while last < stop and shown + #escaped(text:sub(last, last)) <= LINE_CHUNK do
                shown = shown + #escaped(text:sub(last, last))
                last = last + 1
            end
            item:add(pf.line, range(at - 1, math.max(last - at, 1)), escaped(text:sub(at, last - 1)))
            at = last
        until at >= stop
        if text:sub(stop, stop + 1) == "\r\n" then
            stop = stop + 1
        end
        start = stop + 1
    end
end

local function check_size(tree, request, length)
    if length >= request.size then
        return true
    end
    tree:add_proto_expert_info(ex.short, string.format("Payload of %u bytes, the request needs %u: refused",
        length, request.size))
    return false
end

-- The SMS bytes as the daemon reads them.
local SMS_FIELDS = {
    status = function(value) return SMS_STATUS[value] or SMS_STATUS_OTHER_NAME end,
    mode = function(value) return value == SMS_MODE_PDU and SMS_MODE_PDU_NAME or SMS_MODE_TEXT_NAME end,
}

local function dissect_layout(tvb, tree, request, length)
    if not check_size(tree, request, length) then
        return 0
    end
    for _, field in ipairs(request.fields) do
        local range = tvb(FRAME_HEADER_SIZE + field.offset, field.size)
        if field.kind == FIELD_BYTE then
            local item = tree:add(field.pf, range)
            local shown = SMS_FIELDS[field.name]
            if shown then
                item:add(field.name == "mode" and pf.sms_mode or pf.sms_status, range, shown(range:uint()))
                    :set_generated()
            end
        else
            local item, terminated = add_string(tree, field.pf, range)
            local checked = field.kind == FIELD_STRING or (field.kind == FIELD_STRING_OPT and range:range(0, 1):uint() ~= 0)
            if checked and not terminated then
                item:add_proto_expert_info(ex.unterminated)
            end
        end
    end
    return request.size
end

local function dissect_request(tvb, tree, request, length)
    if request.payload == PAYLOAD_LAYOUT then
        return dissect_layout(tvb, tree, request, length)
    elseif request.payload == PAYLOAD_TEXT then
        if not check_size(tree, request, length) or length == 0 then
            return 0
        end
        local item = add_string(tree, pf.request_text, tvb(FRAME_HEADER_SIZE, length))
        if request.size > 0 and tvb(FRAME_HEADER_SIZE, 1):le_uint() == 0 then
            item:add_proto_expert_info(ex.empty)
        end
        return length
    end
    return 0
end

-- A record of any other length is not decoded: its numbers would be noise.
local function dissect_record(tvb, tree, type, length)
    local status
    if length ~= RESPONSE_SIZE then
        tree:add_proto_expert_info(ex.bad_length, string.format("Response record of %u bytes, %u expected",
            length, RESPONSE_SIZE))
        return 0
    end
    status = tvb(FRAME_HEADER_SIZE, 4):le_int()
    tree:add_le(pf.cmdstatus, tvb(FRAME_HEADER_SIZE, 4))
    local code = tvb(FRAME_HEADER_SIZE + 4, 4):le_int()
    local item = tree:add_le(pf.errcode, tvb(FRAME_HEADER_SIZE + 4, 4))
    local meaning = err_meaning(type, status, code)
    if meaning ~= "" then
        item:append_text(" (" .. meaning .. ")")
        item:add(pf.meaning, tvb(FRAME_HEADER_SIZE + 4, 4), meaning):set_generated()
    end
    local range = tvb(FRAME_HEADER_SIZE + TEXT_OFFSET, RESPONSE_SIZE - TEXT_OFFSET)
    local text_item = add_string(tree, pf.text, range)
    add_lines(text_item, range, (zstring(range)))
    return RESPONSE_SIZE, status
end

-- Records the request or response for pairing on the first pass and shows
-- the pair on every pass that has seen both.
local function pair(tvb, pinfo, tree, link, type, is_request)
    local key = pdu_key(tvb, pinfo)
    if not pinfo.visited then
        pending[link] = pending[link] or {}
        local queue = pending[link]
        if is_request then
            table.insert(queue, { frame = pinfo.number, key = key, ts = pinfo.abs_ts, type = type })
        else
            -- The oldest request of its type; the ones before it were
            -- never answered.
            local at
            for i, request in ipairs(queue) do
                if request.type == type then
                    at = i
                    break
                end
            end
            if at then
                local request = queue[at]
                for _ = 1, at do
                    table.remove(queue, 1)
                end
                -- In microseconds, as a capture's timestamps go.
                local ms = math.floor((pinfo.abs_ts - request.ts) * 1e6 + 0.5) / 1000
                pairs_of[key] = { request = request.frame, ms = ms }
                pairs_of[request.key] = { response = pinfo.number, ms = ms }
            else
                orphans[key] = true
            end
        end
    end
    local found = pairs_of[key]
    if not found then
        if orphans[key] then
            tree:add_proto_expert_info(ex.orphan)
        elseif is_request and pinfo.visited then
            -- Only a later pass knows the whole capture.
            tree:add_proto_expert_info(ex.unanswered)
        end
        return
    end
    if found.response then
        tree:add(pf.response_in, found.response):set_generated()
    else
        tree:add(pf.request_in, found.request):set_generated()
    end
    tree:add(pf.time, found.ms):set_generated()
end

local function dissect_frame(tvb, pinfo, tree)
    local length = tvb(0, 4):le_uint()
    local type = tvb(4, 4):le_uint()
    local name = TYPE_NAMES[type] or string.format("Unknown type %u", type)
    local to_daemon = pinfo.src_port == sim7100.prefs.port or
        (pinfo.dst_port ~= sim7100.prefs.port and pinfo.src_port == pinfo.match_uint)
    local link = to_daemon and (tostring(pinfo.dst) .. ":" .. pinfo.dst_port) or
        (tostring(pinfo.src) .. ":" .. pinfo.src_port)

    local root = tree:add(sim7100, tvb())
    root:add(pf.direction, to_daemon and TO_DAEMON or TO_RTOS):set_generated()
    root:add_le(pf.length, tvb(0, 4))
    root:add_le(pf.type, tvb(4, 4))

    local request = REQUEST_TYPES[type]
    local used = 0
    local summary
    if implausible(length, type) then
        summary = "Not a frame"
        root:add(pf.not_frame, tvb())
        root:add_proto_expert_info(ex.not_frame, string.format(
            "Not a frame of this link: a header announcing %u bytes of type %u; starts with \"%s\"", length, type,
            escaped(tvb(0, math.min(tvb:len(), 32)):raw())))
        root:append_text(", " .. summary)
        pinfo.cols.info:append(summary)
        return tvb:len()
    elseif to_daemon then
        summary = name .. " request"
        if request then
            used = dissect_request(tvb, root, request, length)
            pair(tvb, pinfo, root, link, type, true)
        elseif type == MSG_TERMINATE then
            summary = name
        else
            root:add_proto_expert_info(ex.unknown)
        end
    elseif type == MSG_REGISTER then
        summary = "Registration"
        if length > 0 then
            root:add_proto_expert_info(ex.register_payload, string.format(
                "Registration frame with a payload of %u bytes: the RTOS side expects 8 bytes alone", length))
        end
    else
        summary = name .. " response"
        if request then
            local status
            used, status = dissect_record(tvb, root, type, length)
            if status then
                summary = string.format("%s: %s", summary, CMD_STATUS[status] or tostring(status))
            end
            pair(tvb, pinfo, root, link, type, false)
        end
    end
    if length > used then
        local item = root:add(pf.ignored, tvb(FRAME_HEADER_SIZE + used, length - used))
        if to_daemon and request and used == request.size and request.payload ~= PAYLOAD_TEXT then
            item:add_proto_expert_info(ex.long, string.format("%u bytes past what the request reads: ignored, served",
                length - used))
        end
    end
    root:append_text(", " .. summary)

    local info = tostring(pinfo.cols.info)
    pinfo.cols.info:append((info == "" and "" or ", ") .. summary)
    return tvb:len()
end

local function frame_length(tvb, pinfo, offset)
    local length = tvb(offset, 4):le_uint()
    if implausible(length, tvb(offset + 4, 4):le_uint()) then
        -- Waiting for that much would swallow the rest of the stream.
        return tvb:len() - offset
    end
    return FRAME_HEADER_SIZE + length
end

function sim7100.dissector(tvb, pinfo, tree)
    if tostring(pinfo.cols.protocol) ~= "SIM7100" then
        pinfo.cols.protocol:set("SIM7100")
        pinfo.cols.info:clear()
    end
    dissect_tcp_pdus(tvb, tree, FRAME_HEADER_SIZE, frame_length, dissect_frame)
    return tvb:len()
end

local registered_port = sim7100.prefs.port
DissectorTable.get("tcp.port"):add(registered_port, sim7100)

function sim7100.prefs_changed()
    if sim7100.prefs.port ~= registered_port then
        DissectorTable.get("tcp.port"):remove(registered_port, sim7100)
        registered_port = sim7100.prefs.port
        DissectorTable.get("tcp.port"):add(registered_port, sim7100)
    end
end
