-- qnpromote: a case push of the vendor's service in the shape the spirit
-- reads. Input: the push's "message" text in the global __json.
local m = cjson.decode(__json)
if type(m) ~= "table" then
  return cjson.encode({isCaseStock = 0})
end

local function text(v)
  if type(v) == "string" then
    return v
  elseif type(v) == "number" then
    -- millisecond times exceed what %d holds in Lua 5.1
    return string.format("%.0f", v)
  end
  return ""
end

local stock = type(m.stock) == "table" and m.stock or {}
return cjson.encode({
  isCaseStock = (m.caseStock == 1) and 1 or 0,
  course = text(m.courseId),
  title = text(m.title),
  show_title = text(m.showTitle),
  stockinfo = text(m.stockInfo),
  briefdesc = text(m.brief),
  show_content = text(m.showContent),
  tag = text(m.tag),
  auditTime = text(m.auditTime),
  click_url = text(m.clickUrl),
  stockMarket = text(stock.market),
  stockCode = text(stock.code),
})
