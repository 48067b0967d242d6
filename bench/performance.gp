# Median time against the number of messages, load and floor, on log scales.
# Called by bench/run.sh with datafile (msgbench --data), outfile and profile set.
set terminal pngcairo size 900,600 font ",11"
set output outfile
stats datafile using 1 name "N" nooutput
stats datafile using 2 name "FLOOR" nooutput
stats datafile using 3 name "LOAD" nooutput
# Room around the points for their labels.
set xrange [N_min / 1.8 : N_max * 1.8]
set yrange [FLOOR_min / 2.5 : LOAD_max * 2.5]
set title "MsgService::loadBackup against the floor of its statements" . (exists("profile") ? " (" . profile . " backups)" : "")
set xlabel "Messages"
set ylabel "Median time (s)"
set logscale xy
set format x "%.0s%c"
set grid xtics ytics mytics
set key top left
plot datafile using 1:3 with linespoints linewidth 2 pointtype 7 title "loadBackup", \
     datafile using 1:2 with linespoints linewidth 2 pointtype 5 title "floor", \
     datafile using 1:3:(sprintf("%.2f s", $3)) with labels offset 0,1.2 notitle, \
     datafile using 1:2:(sprintf("%.2f s", $2)) with labels offset 0,-1.2 notitle
