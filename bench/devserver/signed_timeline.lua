-- wrk script: every request is a freshly signed GET of the home timeline (OAuth 1.0, HMAC-SHA1),
-- with its own nonce, so the server's signature check and replay check run for each one.
-- Arguments after "--": access token, token secret, base address (http://127.0.0.1:PORT).
local bit = require("bit")
local band, bor, bxor, bnot, lshift, rshift, rol, tobit =
  bit.band, bit.bor, bit.bxor, bit.bnot, bit.lshift, bit.rshift, bit.rol, bit.tobit

local CONSUMER_KEY = "5127730916"
local CONSUMER_SECRET = "9f1c0a7e52d84b3690e1c7a4f2b85d03"
local PATH = "/statuses/friends_timeline.json"

local function word(x)
  return string.char(band(rshift(x, 24), 255), band(rshift(x, 16), 255), band(rshift(x, 8), 255), band(x, 255))
end

local function sha1(msg)
  local h0, h1, h2, h3, h4 = tobit(0x67452301), tobit(0xEFCDAB89), tobit(0x98BADCFE), tobit(0x10325476), tobit(0xC3D2E1F0)
  local bits = #msg * 8
  msg = msg .. "\128" .. string.rep("\0", (55 - #msg) % 64) .. word(math.floor(bits / 4294967296)) .. word(bits % 4294967296)
  local w = {}
  for chunk = 1, #msg, 64 do
    for i = 0, 15 do
      local a, b, c, d = msg:byte(chunk + i * 4, chunk + i * 4 + 3)
      w[i] = bor(lshift(a, 24), lshift(b, 16), lshift(c, 8), d)
    end
    for i = 16, 79 do w[i] = rol(bxor(w[i - 3], w[i - 8], w[i - 14], w[i - 16]), 1) end
    local a, b, c, d, e = h0, h1, h2, h3, h4
    for i = 0, 79 do
      local f, k
      if i < 20 then f, k = bor(band(b, c), band(bnot(b), d)), 0x5A827999
      elseif i < 40 then f, k = bxor(b, c, d), 0x6ED9EBA1
      elseif i < 60 then f, k = bor(band(b, c), band(b, d), band(c, d)), 0x8F1BBCDC
      else f, k = bxor(b, c, d), 0xCA62C1D6 end
      local t = tobit(rol(a, 5) + f + e + k + w[i])
      e, d, c, b, a = d, c, rol(b, 30), a, t
    end
    h0, h1, h2, h3, h4 = tobit(h0 + a), tobit(h1 + b), tobit(h2 + c), tobit(h3 + d), tobit(h4 + e)
  end
  return word(h0) .. word(h1) .. word(h2) .. word(h3) .. word(h4)
end

local function hmac_sha1(key, text)
  if #key > 64 then key = sha1(key) end
  key = key .. string.rep("\0", 64 - #key)
  local ipad, opad = {}, {}
  for i = 1, 64 do
    local b = key:byte(i)
    ipad[i] = string.char(bxor(b, 0x36))
    opad[i] = string.char(bxor(b, 0x5c))
  end
  return sha1(table.concat(opad) .. sha1(table.concat(ipad) .. text))
end

local B64 = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/"
local function base64(s)
  local out = {}
  for i = 1, #s, 3 do
    local a, b, c = s:byte(i, i + 2)
    local n = a * 65536 + (b or 0) * 256 + (c or 0)
    local chars = {}
    for j = 3, 0, -1 do
      local idx = math.floor(n / 64 ^ j) % 64
      chars[#chars + 1] = B64:sub(idx + 1, idx + 1)
    end
    if not b then chars[3], chars[4] = "=", "="
    elseif not c then chars[4] = "=" end
    out[#out + 1] = table.concat(chars)
  end
  return table.concat(out)
end

local function enc(s)
  return (s:gsub("[^%w%-%._~]", function(c) return string.format("%%%02X", c:byte()) end))
end

-- The self-check keeps a broken signer from being measured as a stream of 401 answers.
assert(base64(hmac_sha1("key", "The quick brown fox jumps over the lazy dog")) == "3nybhbi3iqa8ino29wqQcBydtNk=")

local threads = {}
function setup(thread)
  thread:set("thread_id", #threads + 1)
  table.insert(threads, thread)
end

local token, secret, base, counter = nil, nil, nil, 0
function init(args)
  token, secret, base = args[1], args[2], args[3]
  math.randomseed(os.time() + (thread_id or 0) * 7919)
end

function request()
  counter = counter + 1
  local nonce = string.format("w%dn%dr%d", thread_id or 0, counter, math.random(1, 1000000000))
  local oauth = {
    {"count", "20"},
    {"oauth_consumer_key", CONSUMER_KEY},
    {"oauth_nonce", nonce},
    {"oauth_signature_method", "HMAC-SHA1"},
    {"oauth_timestamp", tostring(os.time())},
    {"oauth_token", token},
    {"oauth_version", "1.0"},
  }
  local parts = {}
  for i, kv in ipairs(oauth) do parts[i] = kv[1] .. "=" .. enc(kv[2]) end
  local baseString = "GET&" .. enc(base .. PATH) .. "&" .. enc(table.concat(parts, "&"))
  local signature = base64(hmac_sha1(CONSUMER_SECRET .. "&" .. secret, baseString))
  local header = {}
  for i = 2, #oauth do header[#header + 1] = oauth[i][1] .. '="' .. enc(oauth[i][2]) .. '"' end
  header[#header + 1] = 'oauth_signature="' .. enc(signature) .. '"'
  return wrk.format("GET", PATH .. "?count=20", {["Authorization"] = "OAuth " .. table.concat(header, ",")})
end

local failures = 0
function response(status, headers, body)
  if status ~= 200 then failures = failures + 1 end
end

function done(summary, latency, requests)
  io.write(string.format("signed requests: %d, errors: %d (non-200 and socket)\n", summary.requests,
    summary.errors.status + summary.errors.connect + summary.errors.read + summary.errors.write + summary.errors.timeout))
end
