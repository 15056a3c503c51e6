# The link benchmark's table, from link-loss's ROW lines (wherever they sit in a line).
BEGIN {
  printf "%-6s %-10s %8s %8s %8s %8s %14s %6s %8s\n", "loss", "path", "p50 ms", "p95 ms",
    "p99 ms", "max ms", "longest freeze", "lost", "neutral"
}
/ROW / {
  sub(/^.*ROW /, "ROW ")
  printf "%-6s %-10s %8s %8s %8s %8s %11s ms %6s %8s\n", $2, $3, $4, $5, $6, $7, $8, $9, $10
}
