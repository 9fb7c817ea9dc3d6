#!/bin/bash
# Renders the ball's templates with sample texts into docs/skin/*.png.
#   render-docs.sh BUILD_DIR   (a 64-bit build with tools/skin-preview built)
# Plain rectangles stand in for the bodies that the windows' root controls paint.
set -euo pipefail
REPO=$(cd "$(dirname "$0")/../.." && pwd)
BUILD=$1
source "$REPO/scripts/wine-env.sh"
veltray_wine_arch x86_64
veltray_wine_prefix
veltray_display
mkdir -p "$REPO/docs/skin"
THEME="Z:$(echo "$REPO/assets/themes/style_ball" | tr / '\\')"
OUT="Z:$(echo "$REPO/docs/skin" | tr / '\\')"
preview() { "$VELTRAY_WINE" "$BUILD/tools/skin-preview/skin-preview.exe" --theme "$THEME" "$@"; }

UP='#FFFE4043'; DOWN='#FF26B173'
BALL=(--size 198x70 --body '2,3,196,69,#10000000' --body '8,8,190,62,#FFFFFFFF' --body '16,18,50,52,#FFDD1828')
preview --template template_ball --out "$OUT\\template_ball.png" "${BALL[@]}" \
    --set lblName=上证指数 --set lblPrice=3021.55 --set lblChange=+0.12% --color lblPrice=$UP --color lblChange=$UP
preview --template template_ball --out "$OUT\\template_ball_message.png" "${BALL[@]}" \
    --hide lblName --hide lblPrice --hide lblChange --show lblPushLine1 --show lblPushLine2 \
    --set lblPushLine1=贵州茅台 --set 'lblPushLine2=快速上涨 涨幅3.05%' --color lblPushLine2=$UP
preview --template template_abnormal --out "$OUT\\template_abnormal.png" "${BALL[@]}" --show ctnAbnormal \
    --hide lblAbEmpty --set lblAbName=宁德时代 --set lblAbPrice=182.30 --set lblAbZDF=-2.41% \
    --set lblAbDisplay=快速下跌 --set lblAbType=跌停 --color lblAbZDF=$DOWN
preview --template template_setting --out "$OUT\\template_setting.png" --size 172x126 \
    --body '20,24,152,106,#14000000' --body '28,28,144,98,#FFFFFFFF'

DETAIL=(--size 592x640 --body '44,52,548,600,#10000000' --body '48,48,544,592,#FFF5F5F9'
        --body '48,48,544,90,#FFFFFFFF' --body '48,90,120,592,#FFFFFFFF' --body '62,57,86,81,#FF9E54FF')
SELF_ROWS=()
for i in 0 1 2 3 4; do SELF_ROWS+=(--body "136,$((144 + 82 * i)),528,$((216 + 82 * i)),#FFFFFFFF"); done
preview --template template_detail --out "$OUT\\template_detail.png" "${DETAIL[@]}" --body '48,90,120,182,#FFFFEDED' "${SELF_ROWS[@]}" \
    --set lblOnline=投资者小王 \
    --set lblSelfName1=贵州茅台 --set lblSelfTime1=10:31:05 --set lblSelfTag1=快速上涨 --set lblSelfVal1=+3.05% \
    --color lblSelfTag1=$UP --color lblSelfVal1=$UP \
    --set lblSelfName2=宁德时代 --set lblSelfTime2=10:12:44 --set lblSelfTag2=大笔卖出 --set lblSelfVal2=-2.41% \
    --color lblSelfTag2=$DOWN --color lblSelfVal2=$DOWN \
    --set lblSelfName3=中国平安 --set lblSelfTime3=09:45:10 --set lblSelfTag3=封涨停板 --set lblSelfVal3=46.35 \
    --color lblSelfTag3=$UP --color lblSelfVal3=$UP
LIVE_ROWS=(--body '136,144,528,572,#FFFFFFFF' --body '442,106,528,136,#FFFFF0F2' --body '150,170,191,192,#FFFE4043')
for r in 0 1 2 3; do LIVE_ROWS+=(--body "195,$((196 + 92 * r)),516,$((276 + 92 * r)),#FFF7F7F7" --body "442,$((236 + 92 * r)),508,$((266 + 92 * r)),#FFFFE4E5"); done
DAYS=(); n=0
for d in 周一 周二 周三 周四 周五 周六 周日; do n=$((n + 1)); DAYS+=(--set lblDay$n=$d --set lblDate$n=12-$((7 + n))); done
preview --template template_detail --out "$OUT\\template_detail_live.png" "${DETAIL[@]}" --body '48,182,120,274,#FFFFEDED' "${LIVE_ROWS[@]}" \
    --hide pageSelf --show pageLive --set lblPageTitle=直播节目单 --set lblOnline=投资者小王 "${DAYS[@]}" --color lblDate1=#FFFFFFFF \
    --set lblTime1=09:00 --set lblLiveTitle1=早盘策略：指数震荡中的机会 --set lblLiveStatus1=Orvan观市台 \
    --set lblTime2=13:30 --set lblLiveTitle2=午后复盘与热点追踪 --set lblLiveStatus2=名师直播间 \
    --set lblTime3=19:30 --set lblLiveTitle3=夜话A股：下周怎么看 --set lblLiveStatus3=未开始 \
    --hide lblTime4 --hide lblLiveTitle4 --hide lblLiveStatus4 --hide btnLive4
CASE_ROWS=()
for i in 0 1 2 3; do CASE_ROWS+=(--body "136,$((148 + 108 * i)),528,$((246 + 108 * i)),#FFFFFFFF"); done
preview --template template_detail --out "$OUT\\template_detail_case.png" "${DETAIL[@]}" --body '48,274,120,366,#FFFFEDED' "${CASE_ROWS[@]}" \
    --hide pageSelf --show pageCase --set lblPageTitle=案例股 --set lblOnline=投资者小王 \
    --set lblTag1=案例跟踪 --color lblTag1=#FFEF9402 --set lblNum1='2026-12-10 10:30' --set lblName1=新能源龙头回踩到位，关注放量信号 \
    --set lblDesc1=机构持仓比例连续三个季度提升 \
    --set lblTag2=教学减仓 --color lblTag2=#FF1C68E0 --set lblNum2='2026-12-09 14:05' --set lblName2=高位股分批止盈的节奏 \
    --set lblDesc2=示范如何按计划减仓 \
    --hide lblTag3 --hide lblNum3 --hide lblName3 --hide lblDesc3 --hide lblTag4 --hide lblNum4 --hide lblName4 --hide lblDesc4
