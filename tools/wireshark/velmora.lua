-- Wireshark dissector for the Velmora network audio protocols.
--
--   Find        UDP port 19642: find requests and answers, product tags, output records,
--               information texts, the client's name
--   remote log  UDP port 19642: LOG_REQ to the sink, its LOG_TEXT lines back
--   Sync        the sink's control and data ports (handed out by Find and by CONNECT_ANS),
--               recognised from the frame magic (100) and the command number
--
-- Use:   tshark -X lua_script:velmora.lua -r capture.pcapng
--        or copy this file into Wireshark's personal Lua plugins folder.
-- Filter fields start with "velmora." (velmora.command_name == "CONNECT_REQ",
-- velmora.sync.seq, velmora.format.rate, velmora.sync.resent, ...).

local FIND_PORT = 19642
local MAGIC = 100
local HEADER = 16

local velmora = Proto("velmora", "Velmora")

-- ---------------------------------------------------------------------------------------
-- Fields

local F = {
    magic = ProtoField.uint16("velmora.magic", "Magic", base.DEC),
    length = ProtoField.uint16("velmora.length", "Frame length", base.DEC),
    pad = ProtoField.uint8("velmora.pad", "Pad bytes", base.DEC),
    payload_length = ProtoField.uint16("velmora.payload_length", "Payload length", base.DEC),
    command = ProtoField.uint16("velmora.command", "Command", base.DEC),
    command_name = ProtoField.string("velmora.command_name", "Command name"),
    flags = ProtoField.uint16("velmora.flags", "Flags", base.HEX),
    positive = ProtoField.bool("velmora.flags.positive", "Positive answer / payload follows", 16, nil, 0x0001),
    param = ProtoField.uint64("velmora.param", "Parameter", base.HEX),
    payload = ProtoField.bytes("velmora.payload", "Payload"),
    valid = ProtoField.bool("velmora.valid", "Valid frame"),

    find_tag = ProtoField.uint64("velmora.find.tag", "Product tag", base.HEX),
    find_product = ProtoField.string("velmora.find.product", "Product word"),
    find_description = ProtoField.string("velmora.find.description", "Description"),
    find_index = ProtoField.uint16("velmora.find.output_index", "Output index", base.DEC),
    find_count = ProtoField.uint16("velmora.find.output_count", "Number of outputs", base.DEC),
    find_port = ProtoField.uint16("velmora.find.output_port", "Output's Sync control port", base.DEC),
    find_version = ProtoField.uint16("velmora.find.output_version", "Output's protocol version", base.DEC),
    find_output_name = ProtoField.string("velmora.find.output_name", "Output name"),
    find_info = ProtoField.string("velmora.find.info", "Information text"),
    find_client = ProtoField.string("velmora.find.client_name", "Client name"),

    seq = ProtoField.uint16("velmora.sync.seq", "Sequence number", base.DEC),
    info_request = ProtoField.bool("velmora.sync.info_request", "Info request", 16, nil, 0x0020),
    burst_end = ProtoField.bool("velmora.sync.burst_end", "Last packet of the burst", 16, nil, 0x0040),
    resend_request = ProtoField.bool("velmora.sync.resend_request", "Resend request", 16, nil, 0x0008),
    invert = ProtoField.bool("velmora.sync.invert", "Sink asks for inverted polarity"),
    resent = ProtoField.bool("velmora.sync.resent", "Resent packet"),
    audio = ProtoField.bytes("velmora.sync.audio", "Audio"),
    frames = ProtoField.uint32("velmora.sync.frames", "Frames", base.DEC),
    first_missing = ProtoField.uint16("velmora.sync.first_missing", "First missing sequence number", base.DEC),
    second_number = ProtoField.uint16("velmora.sync.second_number", "Second number", base.DEC),
    missing = ProtoField.uint16("velmora.sync.missing", "Packets asked for again", base.DEC),
    fb_a = ProtoField.uint16("velmora.sync.feedback.a", "Feedback A", base.HEX),
    fb_b = ProtoField.uint16("velmora.sync.feedback.b", "Feedback B", base.DEC),
    fb_c = ProtoField.uint16("velmora.sync.feedback.c", "Feedback C", base.DEC),
    fb_kind = ProtoField.uint8("velmora.sync.feedback.kind", "Feedback kind", base.DEC,
        { [0] = "none", [1] = "level (A)", [2] = "signed (A, bit 15)", [3] = "ratio (B against C)" }),
    fb_sample = ProtoField.int16("velmora.sync.feedback.sample", "Feedback sample (1/16384)", base.DEC),
    selector = ProtoField.uint64("velmora.sync.selector", "Format set asked for", base.HEX),
    format_set = ProtoField.string("velmora.sync.format_set", "Format set"),
    caps = ProtoField.uint64("velmora.sync.caps", "Capability mask", base.HEX),
    format = ProtoField.uint64("velmora.sync.format", "Stream format", base.HEX),
    latency = ProtoField.uint16("velmora.sync.latency", "Latency (100 us)", base.DEC),
    hw_latency = ProtoField.uint16("velmora.sync.hw_latency", "Hardware latency (100 us)", base.DEC),
    data_port = ProtoField.uint16("velmora.sync.data_port", "Data port", base.DEC),
    mtu = ProtoField.uint16("velmora.sync.mtu", "MTU", base.DEC),
    max_burst = ProtoField.uint16("velmora.sync.max_burst", "Maximum burst bytes", base.DEC),
    connect_word = ProtoField.uint64("velmora.sync.connect_word", "Connect word", base.HEX),
    category = ProtoField.uint8("velmora.sync.category", "Sample category", base.DEC,
        { [1] = "integer PCM", [2] = "floating-point PCM", [4] = "other", [8] = "DSD" }),
    profile_min = ProtoField.uint16("velmora.sync.profile_min", "Shortest cycle (10 us)", base.DEC),
    profile_max = ProtoField.uint16("velmora.sync.profile_max", "Longest cycle (10 us)", base.DEC),
    profile_flags = ProtoField.uint16("velmora.sync.profile_flags", "Profile flags", base.HEX),
    client_name = ProtoField.string("velmora.sync.client_name", "Client name"),

    log_enable = ProtoField.uint16("velmora.log.enable", "Send log lines", base.DEC),
    log_marker = ProtoField.uint16("velmora.log.marker", "Line marker", base.DEC),
    log_text = ProtoField.string("velmora.log.text", "Log line"),

    fmt_channels = ProtoField.uint8("velmora.format.channels", "Channels", base.DEC),
    fmt_type = ProtoField.string("velmora.format.type", "Sample type"),
    fmt_bits = ProtoField.uint8("velmora.format.bits", "Bits per sample", base.DEC),
    fmt_order = ProtoField.string("velmora.format.dsd_order", "DSD bit order"),
    fmt_byte_order = ProtoField.string("velmora.format.dsd_byte_order", "DSD word byte order"),
    fmt_word = ProtoField.uint8("velmora.format.word_code", "DSD word code", base.DEC),
    fmt_rate = ProtoField.uint32("velmora.format.rate", "Sample rate (Hz)", base.DEC),
    caps_channels = ProtoField.string("velmora.caps.channels", "Channel counts"),
    caps_types = ProtoField.string("velmora.caps.types", "Sample types"),
    caps_dsd = ProtoField.string("velmora.caps.dsd", "DSD layouts"),
    caps_rates = ProtoField.string("velmora.caps.rates", "Rates"),
}
local field_list = {}
for _, f in pairs(F) do field_list[#field_list + 1] = f end
velmora.fields = field_list

-- Expert info: key, text, group, severity.
local E, expert_list = {}, {}
for _, e in ipairs({
    { "short", "Shorter than the 16-byte frame header", "MALFORMED", "ERROR" },
    { "bad_magic", "Magic is not 100: not a Velmora frame", "MALFORMED", "ERROR" },
    { "bad_length", "Length word does not fit the datagram", "MALFORMED", "ERROR" },
    { "bad_pad", "Pad count larger than the payload room", "MALFORMED", "ERROR" },
    { "pad_not_zero", "Pad bytes are not zero", "PROTOCOL", "WARN" },
    { "trailing", "Bytes after the frame (ignored by the receiver)", "PROTOCOL", "NOTE" },
    { "unknown_command", "Command unknown to this protocol", "PROTOCOL", "WARN" },
    { "unexpected_payload", "Payload where the command has none, or none where it needs one", "PROTOCOL", "WARN" },
    { "partial_frames", "Audio payload is not a whole number of frames", "PROTOCOL", "WARN" },
    { "invalid_format", "Not a valid stream format", "PROTOCOL", "WARN" },
    { "resend", "Resend request", "SEQUENCE", "CHAT" },
    { "resent", "Resent packet", "SEQUENCE", "NOTE" },
}) do
    E[e[1]] = ProtoExpert.new("velmora." .. e[1], e[2], expert.group[e[3]], expert.severity[e[4]])
    expert_list[#expert_list + 1] = E[e[1]]
end
velmora.experts = expert_list

-- ---------------------------------------------------------------------------------------
-- Commands. Even numbers go from the driver to the sink, odd ones back.

local FIND_COMMANDS = {
    [0] = "FIND_REQ", [1] = "FIND_ANS", [2] = "OUTPUT_REQ", [3] = "OUTPUT_ANS", [5] = "NOPBREAK_ANS",
    [16] = "INFO_REQ", [17] = "INFO_ANS", [22] = "FINDNAME_REQ", [23] = "FINDNAME_ANS", [42] = "NOPBREAK_REQ",
}
local LOG_COMMANDS = { [40] = "LOG_REQ", [41] = "LOG_TEXT" }
local SYNC_COMMANDS = {
    [4] = "FORMAT_REQ", [5] = "FORMAT_ANS", [6] = "LATENCY_REQ", [7] = "LATENCY_ANS", [8] = "CONNECT_REQ",
    [9] = "CONNECT_ANS", [10] = "DATA", [11] = "STATUS", [12] = "DSICONNECT_REQ", [13] = "DSICONNECT_ANS",
    [14] = "DATASIZE_REQ", [15] = "DATASIZE_ANS", [18] = "CONNECTPRE_REQ", [19] = "CONNECTPRE_ANS",
    [20] = "PROFILE_REQ", [21] = "PROFILE_ANS", [24] = "NAME_REQ", [25] = "NAME_ANS",
    [40] = "LOG_REQ", [41] = "LOG_TEXT", [42] = "NOPBREAK_REQ",
}

-- ---------------------------------------------------------------------------------------
-- What earlier frames told: the request each answer belongs to, each stream's frame size and
-- newest sequence number. Worked out once per frame, in capture order, and kept per frame
-- number so that dissecting a frame again gives the same result.

local requests, streams, memo = {}, {}, {}

local learned_ports = {}

function velmora.init()
    requests, streams, memo = {}, {}, {}
    for port in pairs(learned_ports or {}) do DissectorTable.get("udp.port"):remove(port, velmora) end
    learned_ports = {}
end

local function endpoint(address, port) return tostring(address) .. "/" .. port end

local function from_driver(pinfo) return endpoint(pinfo.src, pinfo.src_port) end
local function to_driver(pinfo) return endpoint(pinfo.dst, pinfo.dst_port) end
local function pair(driver, sink) return driver .. ">" .. sink end

-- The memo of this frame, made by make() on the first visit.
local function remembered(pinfo, make)
    local m = memo[pinfo.number]
    if m == nil then
        m = make()
        memo[pinfo.number] = m
    end
    return m
end

-- ---------------------------------------------------------------------------------------
-- The format word (also the capability masks)

local CHANNEL_CODES = { [0x01] = 1, [0x02] = 2, [0x04] = 4, [0x08] = 6, [0x10] = 8, [0x20] = 16 }
local CHANNEL_ORDER = { 0x01, 0x02, 0x04, 0x08, 0x10, 0x20 }
local TYPES = {
    { code = 0x00100, name = "int8", bits = 8, bytes = 1 },
    { code = 0x00200, name = "int16", bits = 16, bytes = 2 },
    { code = 0x00400, name = "int24", bits = 24, bytes = 3 },
    { code = 0x00800, name = "int32", bits = 32, bytes = 4 },
    { code = 0x01000, name = "int64", bits = 64, bytes = 8 },
    { code = 0x02000, name = "float32", bits = 32, bytes = 4 },
    { code = 0x04000, name = "float64", bits = 64, bytes = 8 },
    { code = 0x10000, name = "dsd1", bits = 1, dsd = true },
    { code = 0x20000, name = "dsd8", bits = 8, dsd = true },
}
local band, rshift = bit32.band, bit32.rshift

local function family_rate(family)
    if family == 2 then return 44100 elseif family == 4 then return 48000 end
    return nil
end

-- Sample rate of one format word: family times the one-hot multiplier; 8000 alone; else 0.
local function rate_of(high)
    local family, multiplier = band(high, 7), band(rshift(high, 3), 0x1FFF)
    if family == 1 and multiplier == 0 then return 8000 end
    local base = family_rate(family)
    if base == nil then return 0 end
    for k = 0, 12 do
        if multiplier == bit32.lshift(1, k) then return base * 2 ^ k end
    end
    return 0
end

local function type_of(low)
    local code = band(low, 0xFFF00)
    for _, t in ipairs(TYPES) do
        if t.code == code then return t end
    end
    return nil
end

local function one_of(value, a, b) return (band(value, a) ~= 0) ~= (band(value, b) ~= 0) end

-- The validity rule receivers apply to a stream format.
local function valid_format(low, high)
    local t = type_of(low)
    if CHANNEL_CODES[band(low, 0xFF)] == nil or t == nil then return false end
    if not t.dsd then return band(low, 0xFFF00000) == 0 end
    return one_of(low, 0x100000, 0x200000) and one_of(low, 0x400000, 0x800000)
        and band(rshift(low, 24), 0xFF) == 2 and rate_of(high) >= 2822400
end

-- Bytes of one frame (all channels) of a format; nil when the format says nothing usable.
local function frame_bytes(low)
    local channels, t = CHANNEL_CODES[band(low, 0xFF)], type_of(low)
    if channels == nil or t == nil then return nil end
    local bytes = t.bytes
    if t.dsd then bytes = band(rshift(low, 24), 0xFF) == 2 and 4 or 2 end
    return bytes * channels
end

local function add_format(tree, range, field)
    local word = range:le_uint64()
    local low, high = word:lower(), word:higher()
    local item = tree:add_le(field, range)
    if low == 0 and high == 0 then
        item:append_text(" (none chosen yet)")
        return low, high
    end
    local channels, t, rate = CHANNEL_CODES[band(low, 0xFF)], type_of(low), rate_of(high)
    item:add(F.fmt_channels, range, channels or 0)
    item:add(F.fmt_type, range, t and t.name or string.format("unknown (0x%05x)", band(low, 0xFFF00)))
    item:add(F.fmt_bits, range, t and t.bits or 0)
    if t and t.dsd then
        item:add(F.fmt_order, range, band(low, 0x100000) ~= 0 and "LSB first" or band(low, 0x200000) ~= 0 and "MSB first" or "none")
        item:add(F.fmt_byte_order, range, band(low, 0x400000) ~= 0 and "little-endian" or band(low, 0x800000) ~= 0 and "big-endian" or "none")
        item:add(F.fmt_word, range, band(rshift(low, 24), 0xFF))
    end
    item:add(F.fmt_rate, range, rate)
    item:append_text(string.format(" (%s ch, %s, %d Hz)", channels or "?", t and t.name or "?", rate))
    if not valid_format(low, high) then item:add_proto_expert_info(E.invalid_format) end
    return low, high
end

local function list(items) return #items > 0 and table.concat(items, ", ") or "none" end

local function add_caps(tree, range)
    local word = range:le_uint64()
    local low, high = word:lower(), word:higher()
    local item = tree:add_le(F.caps, range)
    local channels, types, layouts, multipliers = {}, {}, {}, {}
    for _, code in ipairs(CHANNEL_ORDER) do
        if band(low, code) ~= 0 then channels[#channels + 1] = tostring(CHANNEL_CODES[code]) end
    end
    for _, t in ipairs(TYPES) do
        if band(low, t.code) ~= 0 then types[#types + 1] = t.name end
    end
    for bit, name in pairs({ [0x100000] = "LSB first", [0x200000] = "MSB first", [0x400000] = "little-endian words",
                             [0x800000] = "big-endian words", [0x2000000] = "32-bit words" }) do
        if band(low, bit) ~= 0 then layouts[#layouts + 1] = name end
    end
    table.sort(layouts)
    local families = {}
    if band(high, 1) ~= 0 then families[#families + 1] = "8000" end
    if band(high, 2) ~= 0 then families[#families + 1] = "44100" end
    if band(high, 4) ~= 0 then families[#families + 1] = "48000" end
    for k = 0, 12 do
        if band(high, bit32.lshift(1, 3 + k)) ~= 0 then multipliers[#multipliers + 1] = tostring(2 ^ k) end
    end
    item:add(F.caps_channels, range, list(channels))
    item:add(F.caps_types, range, list(types))
    item:add(F.caps_dsd, range, list(layouts))
    item:add(F.caps_rates, range, list(families) .. " x " .. list(multipliers))
end

-- ---------------------------------------------------------------------------------------
-- The frame

-- Header fields, checks and expert info. Returns the frame's facts, with valid == false when
-- a receiver would drop it (then nothing beyond the header is decoded).
local function dissect_frame(tvb, pinfo, tree, names, label, name)
    local size = tvb:len()
    local t = tree:add(velmora, tvb(), "Velmora " .. label)
    local frame = { tree = t, size = size, valid = false }
    if size >= 2 then t:add_le(F.magic, tvb(0, 2)) end
    if size >= 2 and tvb(0, 2):le_uint() ~= MAGIC then t:add_proto_expert_info(E.bad_magic) end
    if size >= 4 then
        local word = tvb(2, 2):le_uint()
        frame.total, frame.pad = band(word, 0xFFF8), band(word, 7)
        t:add(F.length, tvb(2, 2), frame.total)
        t:add(F.pad, tvb(2, 1), frame.pad)
    end
    if size >= 6 then
        frame.command = tvb(4, 2):le_uint()
        name = name or names[frame.command]
        frame.name = name
        local item = t:add_le(F.command, tvb(4, 2))
        if name then
            item:append_text(" (" .. name .. ")")
            t:add(F.command_name, tvb(4, 2), name)
        else
            item:add_proto_expert_info(E.unknown_command)
        end
    end
    if size >= 8 then
        frame.flags = tvb(6, 2):le_uint()
        frame.flags_item = t:add_le(F.flags, tvb(6, 2))
    end
    if size < HEADER then
        t:add_proto_expert_info(E.short)
        t:add(F.valid, tvb(), false)
        return frame
    end
    t:add_le(F.param, tvb(8, 8))
    if tvb(0, 2):le_uint() ~= MAGIC or frame.total < HEADER or frame.total > size then
        if frame.total < HEADER or frame.total > size then
            t:add_proto_expert_info(E.bad_length, string.format("Length word says %d bytes, %d arrived", frame.total, size))
        end
        t:add(F.valid, tvb(), false)
        return frame
    end
    local room = frame.total - HEADER
    if frame.pad > room then
        t:add_proto_expert_info(E.bad_pad, string.format("Pad count %d, payload room %d", frame.pad, room))
        t:add(F.valid, tvb(), false)
        return frame
    end
    frame.valid = true
    frame.header = tvb(0, HEADER)
    t:add(F.valid, tvb(), true)
    frame.payload_length = room - frame.pad
    t:add(F.payload_length, tvb(2, 2), frame.payload_length)
    if frame.payload_length > 0 then frame.payload = tvb(HEADER, frame.payload_length) end
    for i = HEADER + frame.payload_length, frame.total - 1 do
        if tvb(i, 1):uint() ~= 0 then
            t:add_proto_expert_info(E.pad_not_zero)
            break
        end
    end
    -- Data packets may be sized for more than their payload (fixed-size datagrams, resends).
    if size > frame.total and frame.command ~= 10 then
        t:add_proto_expert_info(E.trailing, string.format("%d bytes after the frame", size - frame.total))
    end
    return frame
end

local function payload_text(frame) return frame.payload and frame.payload:raw() or "" end

local function add_text(frame, field)
    return frame.tree:add(field, frame.payload or frame.header, payload_text(frame))
end

local function expect_payload(frame, wanted)
    if (frame.payload_length > 0) ~= wanted then frame.tree:add_proto_expert_info(E.unexpected_payload) end
end

local function set_info(pinfo, frame, detail)
    local name = frame.name or ("command " .. tostring(frame.command))
    local text = name .. (detail and detail ~= "" and (" " .. detail) or "")
    if not frame.valid then text = text .. " [malformed]" end
    pinfo.cols.info:set(text)
end

-- ---------------------------------------------------------------------------------------
-- Find and the remote log (port 19642)

local function product_word(range)
    local bytes = range:bytes()
    local word = ""
    for i = 0, 7 do
        local c = bytes:get_index(i)
        word = word .. ((c >= 32 and c < 127) and string.char(c) or ".")
    end
    return word
end

local PORT_19642_COMMANDS = {}
for k, v in pairs(FIND_COMMANDS) do PORT_19642_COMMANDS[k] = v end
for k, v in pairs(LOG_COMMANDS) do PORT_19642_COMMANDS[k] = v end

-- A port the sink named (an output's control port, a stream's data port): its frames are
-- Sync frames, whatever else may have claimed the port number.
local function learn_port(port)
    if port ~= 0 and port ~= FIND_PORT and not learned_ports[port] then
        learned_ports[port] = true
        DissectorTable.get("udp.port"):add(port, velmora)
    end
end

local function remember_request(pinfo, facts)
    if not pinfo.visited then requests[pair(from_driver(pinfo), endpoint(pinfo.dst, pinfo.dst_port))] = facts end
end

local function request_answered(pinfo)
    return remembered(pinfo, function()
        return requests[pair(to_driver(pinfo), endpoint(pinfo.src, pinfo.src_port))] or {}
    end)
end

local function dissect_find(tvb, pinfo, tree)
    local is_log = tvb:len() >= 6 and LOG_COMMANDS[tvb(4, 2):le_uint()] ~= nil
    pinfo.cols.protocol:set(is_log and "VELMORA-LOG" or "VELMORA-FIND")
    local frame = dissect_frame(tvb, pinfo, tree, PORT_19642_COMMANDS, is_log and "remote log" or "Find")
    local t, cmd = frame.tree, frame.command
    if frame.flags_item then frame.flags_item:add_le(F.positive, tvb(6, 2)) end
    if not frame.valid then
        set_info(pinfo, frame)
        return
    end
    local detail = ""
    local request = {}
    if cmd % 2 == 0 then
        remember_request(pinfo, { command = cmd, index = tvb(8, 2):le_uint() })
    else
        request = request_answered(pinfo)
    end
    if cmd == 0 then
        expect_payload(frame, false)
    elseif cmd == 1 then
        t:add_le(F.find_tag, tvb(8, 8))
        local word = product_word(tvb(8, 8))
        t:add(F.find_product, tvb(8, 8), word)
        add_text(frame, F.find_description)
        detail = word .. " \"" .. payload_text(frame) .. "\""
    elseif cmd == 2 then
        local index = tvb(8, 2):le_uint()
        t:add_le(F.find_index, tvb(8, 2))
        detail = index == 0 and "count" or ("output " .. index)
    elseif cmd == 3 then
        local port = tvb(12, 2):le_uint()
        if port == 0 and (request.index == nil or request.index == 0) then
            t:add_le(F.find_count, tvb(8, 2))
            detail = tvb(8, 2):le_uint() .. " outputs"
        elseif port == 0 then
            detail = "no output " .. request.index
        else
            t:add_le(F.find_index, tvb(8, 2), request.index or tvb(8, 2):le_uint())
            t:add_le(F.find_port, tvb(12, 2))
            t:add_le(F.find_version, tvb(14, 2))
            add_text(frame, F.find_output_name)
            learn_port(port)
            detail = string.format("port %d version %d \"%s\"", port, tvb(14, 2):le_uint(), payload_text(frame))
        end
    elseif cmd == 17 then
        add_text(frame, F.find_info)
    elseif cmd == 22 then
        expect_payload(frame, true)
        add_text(frame, F.find_client)
        detail = "\"" .. payload_text(frame) .. "\""
    elseif cmd == 40 then
        t:add_le(F.log_enable, tvb(8, 2))
        detail = tvb(8, 2):le_uint() ~= 0 and "on" or "off"
    elseif cmd == 41 then
        t:add_le(F.log_marker, tvb(8, 2))
        if tvb(8, 2):le_uint() == 2 then
            add_text(frame, F.log_text)
            detail = "\"" .. payload_text(frame) .. "\""
        end
    end
    local positive = band(frame.flags, 1) ~= 0
    if (cmd == 1 or cmd == 3 or cmd == 17) and not positive then detail = detail .. " (refused)" end
    if cmd == 5 and positive then detail = "(refuses output queries)" end
    if frame.payload and cmd ~= 1 and cmd ~= 3 and cmd ~= 17 and cmd ~= 22 and cmd ~= 41 then
        t:add(F.payload, frame.payload)
    end
    set_info(pinfo, frame, detail)
end

-- ---------------------------------------------------------------------------------------
-- Sync (the sink's control and data ports)

local function format_set_name(selector)
    if selector == 0 then return "summary" end
    if selector == 0x100000 then return "DSD LSB first" end
    if selector == 0x200000 then return "DSD MSB first" end
    if band(selector, 0xFF00) ~= 0 and band(selector, 0xFFFF00FF) == 0 then return "PCM" end
    return "unknown"
end

-- Sequence numbers compare modulo 65536: a is after b when it lies less than half the
-- circle ahead.
local function after(a, b)
    local d = (a - b) % 65536
    return d ~= 0 and d < 32768
end

local function dissect_data(tvb, pinfo, frame)
    local t = frame.tree
    local seq = tvb(8, 2):le_uint()
    t:add_le(F.seq, tvb(8, 2))
    frame.flags_item:add_le(F.info_request, tvb(6, 2))
    frame.flags_item:add_le(F.burst_end, tvb(6, 2))
    local facts = remembered(pinfo, function()
        local stream = streams[from_driver(pinfo)] or {}
        streams[from_driver(pinfo)] = stream
        local resent = stream.newest ~= nil and not after(seq, stream.newest)
        if not resent then stream.newest = seq end
        return { resent = resent, frame_bytes = stream.frame_bytes }
    end)
    t:add(F.resent, tvb(8, 2), facts.resent)
    if facts.resent then t:add_proto_expert_info(E.resent) end
    if frame.payload then
        t:add(F.audio, frame.payload)
        if facts.frame_bytes then
            t:add(F.frames, frame.payload, math.floor(frame.payload_length / facts.frame_bytes))
            if frame.payload_length % facts.frame_bytes ~= 0 then t:add_proto_expert_info(E.partial_frames) end
        end
    end
    local marks = {}
    if band(frame.flags, 0x20) ~= 0 then marks[#marks + 1] = "info" end
    if band(frame.flags, 0x40) ~= 0 then marks[#marks + 1] = "end" end
    if facts.resent then marks[#marks + 1] = "resent" end
    return string.format("seq %d, %d bytes%s", seq, frame.payload_length,
        #marks > 0 and (" [" .. table.concat(marks, ",") .. "]") or "")
end

local function dissect_status(tvb, pinfo, frame)
    local t, flags = frame.tree, frame.flags
    frame.flags_item:add_le(F.resend_request, tvb(6, 2))
    local invert = band(flags, 0x180) == 0x100
    t:add(F.invert, tvb(6, 2), invert)
    if band(flags, 0x08) ~= 0 then
        local first = tvb(10, 2):le_uint()
        t:add_le(F.first_missing, tvb(10, 2))
        t:add_le(F.second_number, tvb(12, 2))
        local missing = remembered(pinfo, function()
            local stream = streams[to_driver(pinfo)]
            if stream == nil or stream.newest == nil then return {} end
            return { count = (stream.newest + 1 - first) % 65536 }
        end).count
        if missing then t:add(F.missing, tvb(10, 2), missing) end
        t:add_proto_expert_info(E.resend, string.format("Resend request from %d", first))
        return string.format("resend from %d%s", first, missing and (" (" .. missing .. " packets)") or "")
    end
    local a, b, c = tvb(8, 2):le_uint(), tvb(10, 2):le_uint(), tvb(12, 2):le_uint()
    t:add_le(F.fb_a, tvb(8, 2))
    t:add_le(F.fb_b, tvb(10, 2))
    t:add_le(F.fb_c, tvb(12, 2))
    local kind, sample = 0, 0
    if a ~= 0 and a < 0x8000 then
        kind, sample = 1, (a - 8192) * 2
    elseif a >= 0x8000 then
        kind, sample = 2, band(a, 0x7FFF)
        if sample >= 0x4000 then sample = sample - 0x8000 end
    elseif c ~= 0 then
        local scaled = (b - c) * 16384
        kind, sample = 3, (scaled >= 0 and math.floor(scaled / c) or -math.floor(-scaled / c))
    end
    sample = (sample + 32768) % 65536 - 32768   -- the receiver keeps 16 bits
    t:add(F.fb_kind, tvb(8, 6), kind)
    t:add(F.fb_sample, tvb(8, 6), sample)
    return string.format("feedback kind %d sample %d%s", kind, sample, invert and " invert" or "")
end

local function dissect_sync(tvb, pinfo, tree)
    pinfo.cols.protocol:set("VELMORA-SYNC")
    -- The request an answer belongs to (command 5 answers FORMAT_REQ and NOPBREAK_REQ alike).
    local cmd = tvb:len() >= 6 and tvb(4, 2):le_uint() or nil
    local request = {}
    if cmd and tvb:len() >= HEADER then
        if cmd % 2 == 0 and cmd ~= 10 then
            remember_request(pinfo, { command = cmd, selector = tvb(8, 4):le_uint() })
        elseif cmd % 2 == 1 and cmd ~= 11 then
            request = request_answered(pinfo)
        end
    end
    local frame = dissect_frame(tvb, pinfo, tree, SYNC_COMMANDS, "Sync",
        (cmd == 5 and request.command == 42) and "NOPBREAK_ANS" or nil)
    if not frame.valid then
        set_info(pinfo, frame)
        return
    end
    local t = frame.tree
    local detail = ""
    if cmd == 4 then
        t:add_le(F.selector, tvb(8, 8))
        detail = format_set_name(tvb(8, 4):le_uint())
        t:add(F.format_set, tvb(8, 8), detail)
    elseif cmd == 5 then
        if request.command ~= 42 then
            if request.command == 4 then
                detail = format_set_name(request.selector)
                t:add(F.format_set, tvb(8, 8), detail)
            end
            add_caps(t, tvb(8, 8))
        end
    elseif cmd == 6 then
        t:add_le(F.latency, tvb(8, 2))
        detail = tvb(8, 2):le_uint() * 100 .. " us"
    elseif cmd == 7 then
        t:add_le(F.latency, tvb(8, 2))
        t:add_le(F.hw_latency, tvb(10, 2))
        detail = string.format("latency %d us, hardware %d us", tvb(8, 2):le_uint() * 100, tvb(10, 2):le_uint() * 100)
    elseif cmd == 8 or cmd == 20 then
        local low = add_format(t, tvb(8, 8), F.format)
        if cmd == 8 then
            remembered(pinfo, function()
                streams[from_driver(pinfo)] = { frame_bytes = frame_bytes(low) }
                return {}
            end)
        end
    elseif cmd == 9 then
        local port = tvb(8, 2):le_uint()
        t:add_le(F.data_port, tvb(8, 2))
        local invert = band(frame.flags, 0x180) == 0x100
        t:add(F.invert, tvb(6, 2), invert)
        detail = "data port " .. port .. (invert and " invert" or "")
        learn_port(port)
    elseif cmd == 10 then
        detail = dissect_data(tvb, pinfo, frame)
    elseif cmd == 11 then
        detail = dissect_status(tvb, pinfo, frame)
    elseif cmd == 15 then
        t:add_le(F.mtu, tvb(8, 2))
        t:add_le(F.max_burst, tvb(10, 2))
        detail = string.format("mtu %d, burst %d bytes", tvb(8, 2):le_uint(), tvb(10, 2):le_uint())
    elseif cmd == 18 then
        local word = t:add_le(F.connect_word, tvb(8, 8))
        local channels = CHANNEL_CODES[tvb(8, 1):uint()]
        word:add(F.fmt_channels, tvb(8, 1), channels or 0)
        word:add(F.category, tvb(9, 1))
        word:add_le(F.latency, tvb(10, 2))
        word:add(F.fmt_rate, tvb(12, 4), rate_of(tvb(12, 4):le_uint()))
        detail = string.format("latency %d us", tvb(10, 2):le_uint() * 100)
    elseif cmd == 19 then
        t:add_le(F.latency, tvb(10, 2))
        detail = string.format("latency %d us", tvb(10, 2):le_uint() * 100)
    elseif cmd == 21 then
        t:add_le(F.profile_min, tvb(8, 2))
        t:add_le(F.profile_max, tvb(10, 2))
        t:add_le(F.profile_flags, tvb(12, 2))
        detail = string.format("cycle %d..%d us, flags 0x%x", tvb(8, 2):le_uint() * 10, tvb(10, 2):le_uint() * 10,
            tvb(12, 2):le_uint())
    elseif cmd == 24 then
        expect_payload(frame, true)
        add_text(frame, F.client_name)
        detail = "\"" .. payload_text(frame) .. "\""
    elseif cmd == 40 then
        t:add_le(F.log_enable, tvb(8, 2))
    elseif cmd == 41 then
        t:add_le(F.log_marker, tvb(8, 2))
        if tvb(8, 2):le_uint() == 2 then
            add_text(frame, F.log_text)
            detail = "\"" .. payload_text(frame) .. "\""
        end
    end
    if cmd % 2 == 1 and cmd ~= 11 and cmd ~= 41 then
        frame.flags_item:add_le(F.positive, tvb(6, 2))
        -- These answers count only with bit 0 set; without it the driver takes them as no answer.
        local carries_data = { [5] = true, [7] = true, [9] = true, [15] = true, [19] = true, [21] = true }
        if carries_data[cmd] and band(frame.flags, 1) == 0 then detail = detail .. " (no answer data)" end
    end
    if frame.payload and cmd ~= 10 and cmd ~= 24 and cmd ~= 41 then t:add(F.payload, frame.payload) end
    set_info(pinfo, frame, detail)
end

-- ---------------------------------------------------------------------------------------
-- Registration

function velmora.dissector(tvb, pinfo, tree)
    if pinfo.src_port == FIND_PORT or pinfo.dst_port == FIND_PORT then
        dissect_find(tvb, pinfo, tree)
    else
        dissect_sync(tvb, pinfo, tree)
    end
    return tvb:len()
end

-- A Sync frame on any other port: the magic, then a command of the Sync protocol.
local function sync_heuristic(tvb, pinfo, tree)
    if tvb:len() < 6 or tvb(0, 2):le_uint() ~= MAGIC then return false end
    if SYNC_COMMANDS[tvb(4, 2):le_uint()] == nil then return false end
    dissect_sync(tvb, pinfo, tree)
    return true
end

DissectorTable.get("udp.port"):add(FIND_PORT, velmora)
velmora:register_heuristic("udp", sync_heuristic)
