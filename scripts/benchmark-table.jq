# Turns Google Benchmark's JSON output into a Markdown table: each measurement "x" beside its
# floor "x/floor", with CPU ns per operation, allocations per operation and the ratio.
# With repetitions the median is shown.

def fixed(digits): (. * pow(10; digits) | round) / pow(10; digits) | tostring;
def ns: if . >= 100 then fixed(0) elif . >= 10 then fixed(1) else fixed(2) end;

[.benchmarks[]
 | select(.run_type == "iteration" or .aggregate_name == "median")
 | {key: .run_name, value: .}]
| from_entries as $runs
| ($runs | keys_unsorted | map(select(endswith("/floor") | not))) as $names
| "| benchmark | ns/op | allocs/op | floor ns/op | floor allocs/op | ratio to floor |",
  "|---|---:|---:|---:|---:|---:|",
  ($names[] as $name
   | $runs[$name] as $run
   | $runs[$name + "/floor"] as $floor
   | if $run.error_occurred then
       "| \($name) | not run: \($run.error_message) | | | | |"
     else
       "| \($name) | \($run.cpu_time | ns) | \($run.allocs | fixed(2)) | "
       + (if $floor == null then "| | |"
          else "\($floor.cpu_time | ns) | \($floor.allocs | fixed(2)) | \($run.cpu_time / $floor.cpu_time | fixed(2)) |"
          end)
     end)
