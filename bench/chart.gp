# The three ways side by side for every workload: time per call on a
# logarithmic scale (the workloads span microseconds to tens of
# milliseconds), and below it each wrapper's time relative to the floor.
#   gnuplot -e "data='results.dat'; output='performance.png'" chart.gp
set terminal pngcairo size 1400,1100 font ",11" noenhanced
set output output
set style data histograms
set style histogram clustered gap 1
set style fill solid 0.85 border -1
set boxwidth 0.9
set grid ytics
set key top left
set lmargin 12
set rmargin 10

set multiplot layout 2,1
set title "Time per call: CPU time of the calling thread in memory, wall time on disk and with threads (median of repetitions; lower is better)"
set logscale y
set format y "%.0s %cs"
set xtics format "" scale 0
set bmargin 1
plot data using ($2*1e-9):xtic("") title "library (IDatabaseInterface)" lc rgb "#1f77b4", \
     '' using ($3*1e-9) title "SQLite C API (floor)" lc rgb "#7f7f7f", \
     '' using ($4*1e-9) title "SQLiteCpp" lc rgb "#ff7f0e"

set title "Time relative to the floor in the same round (median of per-round ratios, bars from the lowest to the highest repetition; 1.00 = SQLite C API)"
set style histogram errorbars gap 1 lw 1
unset logscale y
set format y "%.2f"
set yrange [0.8:1.25]
set xtics rotate by -30 left format "% g"
set bmargin 13
plot data using 5:6:7:xtic(1) title "library / floor" lc rgb "#1f77b4", \
     '' using 8:9:10 title "SQLiteCpp / floor" lc rgb "#ff7f0e", \
     1 notitle with lines lc rgb "#000000" lw 1
unset multiplot
