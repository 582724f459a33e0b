#!/usr/bin/env bash
# Records a long fuzz run for the reliability report: run scripts/fuzz.sh with a long
# time first, e.g. KERFO_FUZZ_LOGS=build-fuzz/logs-long scripts/fuzz.sh 600, then
# scripts/fuzz-record.sh build-fuzz/logs-long > fuzz/long-run.tsv
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
logs=${1:?usage: fuzz-record.sh LOG_DIR}
declare -A input=(
    [decrypt_fuzz]="a file and a password, Decrypt on an in-memory file layer"
    [shrink_fuzz]="a text, Shrink against the encoding's rules; Stretch then Shrink"
    [gate_fuzz]="a file's content, name and attribute value, checkAll"
    [settings_parser_fuzz]="a settings file, parse then format and parse again"
    [split_key_path_fuzz]="a key path and a value, SplitKeyPath and a write and read back"
)
echo "# target	input	seconds	executions	corpus	result	(recorded $(date -u +%Y-%m-%d))"
for log in "$logs"/*_fuzz.log; do
    target=$(basename "$log" .log)
    runs=$(awk '/stat::number_of_executed_units/ {print $2}' "$log")
    seconds=$(sed -n 's/^Done [0-9]* runs in \([0-9]*\) second.*/\1/p' "$log")
    corpus=$(ls "$root/build-fuzz/corpus/${target%_fuzz}" | wc -l)
    if grep -q "ERROR: libFuzzer\|==ERROR\|runtime error\|invariant broken" "$log"; then result=FOUND; else result="nothing found"; fi
    printf '%s\t%s\t%s\t%s\t%s inputs\t%s\n' "$target" "${input[$target]}" "$seconds" "$runs" "$corpus" "$result"
done
