-- sim7100.lua: Wireshark dissector for the TCP link between sim7100d and the
-- RTOS side.  The daemon is the TCP client; the RTOS side listens on the
-- port of the preference (50001 unless changed).  Frames from the listening
-- side are requests and terminate, frames to it the registration and the
-- responses.  Load it from a plugin folder or with -X lua_script:sim7100.lua;
-- see docs/wireshark.md.
--
-- The vocabulary below is generated from protocol/sim7100_protocol.h by the
-- build (tools/wireshark/lua_tables.c), never copied by hand.

--@TABLES@

local DEFAULT_PORT = 50001

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
    ignored = ProtoField.bytes("sim7100.ignored", "Payload the daemon does not read"),
    cmdstatus = ProtoField.int32("sim7100.cmdstatus", "cmdStatus", base.DEC, CMD_STATUS),
    errcode = ProtoField.int32("sim7100.errcode", "errCode", base.DEC),
    text = ProtoField.string("sim7100.text", "Text"),
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

-- Only what the daemon refuses is flagged; what it serves is not.
local ex = {
    short = ProtoExpert.new("sim7100.short", "Payload shorter than the request needs: refused",
        expert.group.MALFORMED, expert.severity.WARN),
    unterminated = ProtoExpert.new("sim7100.unterminated", "String not terminated within its field: refused",
        expert.group.MALFORMED, expert.severity.WARN),
    empty = ProtoExpert.new("sim7100.empty", "Empty text: refused", expert.group.MALFORMED, expert.severity.WARN),
    unknown = ProtoExpert.new("sim7100.unknown", "Unknown message type: no response", expert.group.PROTOCOL,
        expert.severity.WARN),
}
sim7100.experts = { ex.short, ex.unterminated, ex.empty, ex.unknown }

sim7100.prefs.port = Pref.uint("TCP port", DEFAULT_PORT, "The port the RTOS side listens on")

-- Pairing: the daemon answers its requests one at a time, in order, one
-- response each; nothing else ties a response to its request.
local pending -- link -> queue of requests still unanswered
local pairs_of -- PDU key -> { request = frame } or { response = frame }, with ms

function sim7100.init()
    pending = {}
    pairs_of = {}
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
    return tree:add(field, range, value), terminated
end

local function check_size(tree, request, length)
    if length >= request.size then
        return true
    end
    tree:add_proto_expert_info(ex.short, string.format("Payload of %u bytes, the request needs %u: refused",
        length, request.size))
    return false
end

local function dissect_layout(tvb, tree, request, length)
    if not check_size(tree, request, length) then
        return 0
    end
    for _, field in ipairs(request.fields) do
        local range = tvb(FRAME_HEADER_SIZE + field.offset, field.size)
        if field.kind == FIELD_BYTE then
            tree:add(field.pf, range)
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

local function dissect_record(tvb, tree, length)
    local status
    if length >= 4 then
        status = tvb(FRAME_HEADER_SIZE, 4):le_int()
        tree:add_le(pf.cmdstatus, tvb(FRAME_HEADER_SIZE, 4))
    end
    if length >= 8 then
        local code = tvb(FRAME_HEADER_SIZE + 4, 4):le_int()
        local item = tree:add_le(pf.errcode, tvb(FRAME_HEADER_SIZE + 4, 4))
        if ERR_CODE[code] then
            item:append_text(" (" .. ERR_CODE[code] .. ")")
        end
    end
    local text_size = math.min(length, RESPONSE_SIZE) - TEXT_OFFSET
    if text_size > 0 then
        add_string(tree, pf.text, tvb(FRAME_HEADER_SIZE + TEXT_OFFSET, text_size))
    end
    return math.min(length, RESPONSE_SIZE), status
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
        elseif #queue > 0 then
            local request = table.remove(queue, 1)
            if request.type == type then
                -- In microseconds, as a capture's timestamps go.
                local ms = math.floor((pinfo.abs_ts - request.ts) * 1e6 + 0.5) / 1000
                pairs_of[key] = { request = request.frame, ms = ms }
                pairs_of[request.key] = { response = pinfo.number, ms = ms }
            end
        end
    end
    local found = pairs_of[key]
    if not found then
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
    if to_daemon then
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
    else
        summary = name .. " response"
        if request then
            local status
            used, status = dissect_record(tvb, root, length)
            if status then
                summary = string.format("%s: %s", summary, CMD_STATUS[status] or tostring(status))
            end
            pair(tvb, pinfo, root, link, type, false)
        end
    end
    if length > used then
        root:add(pf.ignored, tvb(FRAME_HEADER_SIZE + used, length - used))
    end
    root:append_text(", " .. summary)

    local info = tostring(pinfo.cols.info)
    pinfo.cols.info:append((info == "" and "" or ", ") .. summary)
    return tvb:len()
end

local function frame_length(tvb, pinfo, offset)
    return math.min(FRAME_HEADER_SIZE + tvb(offset, 4):le_uint(), 0xFFFFFFFF)
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
