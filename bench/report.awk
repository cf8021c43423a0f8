# One case of the comparison: joins the Vantorel lines (picture_path_bench) and the
# native tools' lines (peers.sh) by picture, keeping each picture's fastest time over
# every round, prints the Markdown tables and writes the chart's data file.
#   awk -v title=TEXT -v data=FILE [-v floor_max=R] [-v vips_min=R] [-v magick_min=R] \
#       -f report.awk vantorel.tsv peers.tsv
BEGIN { FS = "\t" }
FNR == NR {
    if ($2 == "failed") { print "report: Vantorel failed on " $1 > "/dev/stderr"; failed = 1; next }
    if (!($1 in ours)) order[++count] = $1
    if (!($1 in first) || $9 < first[$1]) first[$1] = $9
    if ($1 in ours && ours[$1] <= $8) next
    size[$1] = $2 "x" $3
    load[$1] = $4; resize[$1] = $5; save[$1] = $6; release[$1] = $7; ours[$1] = $8
    next
}
function low(table, key, value) { if (!(key in table) || value < table[key]) table[key] = value }
{ low(floor_s, $1, $2); low(vips, $1, $3); low(magick, $1, $4); low(floor32, $1, $5) }

function ratio(a, b) { return b > 0 ? sprintf("%.2f", a / b) : "-" }
function verdict(ok) { return ok ? "met" : "**missed**" }

END {
    if (failed || count == 0) exit 1
    print "## " title
    print ""
    print "Seconds per picture, each the fastest of the passes; ratios per picture."
    print ""
    print "| picture | size | djpeg (floor) | djpeg, 32-bit | Vantorel | vips resize | ImageMagick | Vantorel / floor | Vantorel / 32-bit djpeg | vips / Vantorel | ImageMagick / Vantorel |"
    print "|---|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|"
    worst_floor = 0; worst_vips = 1e9; worst_magick = 1e9
    printf "" > data
    for (i = 1; i <= count; i++) {
        n = order[i]
        if (!(n in floor_s)) { print "report: no native times for " n > "/dev/stderr"; exit 1 }
        printf "| %s | %s | %.4f | %.4f | %.4f | %.4f | %.4f | %s | %s | %s | %s |\n", n, size[n],
               floor_s[n], floor32[n], ours[n], vips[n], magick[n], ratio(ours[n], floor_s[n]),
               ratio(ours[n], floor32[n]), ratio(vips[n], ours[n]), ratio(magick[n], ours[n])
        printf "%s %.6f %.6f %.6f %.6f %.6f\n", n, floor_s[n], floor32[n], ours[n], vips[n],
               magick[n] >> data
        sf += floor_s[n]; s32 += floor32[n]; so += ours[n]; sv += vips[n]; sm += magick[n]
        if (ours[n] / floor_s[n] > worst_floor) worst_floor = ours[n] / floor_s[n]
        if (vips[n] / ours[n] < worst_vips) worst_vips = vips[n] / ours[n]
        if (magick[n] / ours[n] < worst_magick) worst_magick = magick[n] / ours[n]
    }
    printf "| **mean** | | **%.4f** | **%.4f** | **%.4f** | **%.4f** | **%.4f** | **%s** | **%s** | **%s** | **%s** |\n",
           sf / count, s32 / count, so / count, sv / count, sm / count, ratio(so, sf), ratio(so, s32),
           ratio(sv, so), ratio(sm, so)
    printf "mean %.6f %.6f %.6f %.6f %.6f\n", sf / count, s32 / count, so / count, sv / count,
           sm / count >> data
    close(data)
    print ""
    print "Worst picture: Vantorel / floor " sprintf("%.2f", worst_floor) \
          ", vips / Vantorel " sprintf("%.2f", worst_vips) \
          ", ImageMagick / Vantorel " sprintf("%.2f", worst_magick) "."
    if (floor_max != "" || vips_min != "" || magick_min != "") {
        print ""
        print "| target (every picture) | worst | |"
        print "|---|---:|---|"
        if (floor_max != "")
            printf "| Vantorel at most %sx the djpeg floor | %.2f | %s |\n", floor_max, worst_floor, verdict(worst_floor <= floor_max)
        if (vips_min != "")
            printf "| at least %sx faster than vips resize | %.2f | %s |\n", vips_min, worst_vips, verdict(worst_vips >= vips_min)
        if (magick_min != "")
            printf "| at least %sx faster than ImageMagick -resize | %.2f | %s |\n", magick_min, worst_magick, verdict(worst_magick >= magick_min)
    }
    print ""
    print "Vantorel's calls in that fastest pass (image_load reads and decodes the file), each call as a ratio to image_load, and the whole of a batch's first pass:"
    print ""
    print "| picture | image_load | image_resize | image_save | image_free | whole | resize / load | save / load | first pass |"
    print "|---|---:|---:|---:|---:|---:|---:|---:|---:|"
    for (i = 1; i <= count; i++) {
        n = order[i]
        printf "| %s | %.4f | %.4f | %.4f | %.4f | %.4f | %.3f | %.3f | %.4f |\n", n, load[n], resize[n], save[n],
               release[n], ours[n], resize[n] / load[n], save[n] / load[n], first[n]
    }
    print ""
}
