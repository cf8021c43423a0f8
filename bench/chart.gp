# The comparison as grouped bars, one panel per case: seconds per picture for the djpeg
# floor, the same decode by a 32-bit djpeg, Vantorel, vips resize and ImageMagick
# -resize, each bar labelled with its time.
#   gnuplot -e "reduce='r.dat'; enlarge='e.dat'; reduce_title='...'; enlarge_title='...'; out='chart.png'" chart.gp
# A data line: picture floor floor32 vantorel vips magick (seconds).
set terminal pngcairo size 1400,1000 font "sans,11" noenhanced
set output out
array tools[5] = ["djpeg decode alone (floor)", "djpeg decode alone, 32-bit build", "Vantorel (whole path, 32-bit, Wine)", "vips resize", "ImageMagick convert -resize"]
array colours[5] = [0x6b6b6b, 0xb0b0b0, 0x1f77b4, 0xff7f0e, 0xd62728]
bar = 0.16
set multiplot layout 2,1 title "Seconds per picture on one core, fastest of the passes (lower is faster)"
set style fill solid 0.85 border -1
set boxwidth bar * 0.9
set grid ytics
set yrange [0:*]
set offsets 0.5, 0.5, graph 0.12, 0
set ylabel "seconds"
set key below horizontal maxrows 2
set xtics nomirror
set ytics nomirror
set title reduce_title
plot reduce using 0:(1/0):xtic(1) notitle, \
     for [i=1:5] reduce using ($0 + (i - 3) * bar):(column(i + 1)) with boxes \
       lc rgb colours[i] title tools[i], \
     for [i=1:5] reduce using ($0 + (i - 3) * bar):(column(i + 1)):(sprintf("%.3f", column(i + 1))) \
       with labels rotate by 90 left offset 0,0.4 font "sans,8" notitle
set title enlarge_title
plot enlarge using 0:(1/0):xtic(1) notitle, \
     for [i=1:5] enlarge using ($0 + (i - 3) * bar):(column(i + 1)) with boxes \
       lc rgb colours[i] title tools[i], \
     for [i=1:5] enlarge using ($0 + (i - 3) * bar):(column(i + 1)):(sprintf("%.3f", column(i + 1))) \
       with labels rotate by 90 left offset 0,0.4 font "sans,8" notitle
unset multiplot
