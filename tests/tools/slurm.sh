#!/bin/sh
# The card tool on a real scheduler: a one-node Slurm cluster of the test's own (munged,
# slurmctld and slurmd, each with a private configuration and state under the test's folder, on
# free local ports, stopped by their process ids at the end) runs job arrays of the tool under
# Wine:
#  - verify --shard auto into a table a task, one task killed while it runs and requeued: every
#    drawing once, the requeued task's table that of an unbroken run, one --resume run over the
#    three tables equal to one machine's table, and the exit codes the scheduler records;
#  - convert --to pdf --shard auto into one folder: the documents of one machine's run, byte for
#    byte.
# Without Slurm's and munge's programs it fails, naming them: scripts/setup.sh installs them.
#   slurm.sh WINE-RUN BIN
. "$(dirname "$0")/common.sh"
for program in munged slurmctld slurmd sbatch squeue scontrol sinfo scancel; do
    command -v "$program" >/dev/null ||
        fail "$program is not installed: the test needs Debian's munge, slurmctld, slurmd and slurm-client (scripts/setup.sh installs them)"
done
cluster=$work/slurm
mkdir -p "$cluster/munge" "$cluster/state" "$cluster/spool" "$work/d" "$work/few" "$work/pages"
chmod 755 "$work" "$cluster" "$cluster/munge"
export SLURM_CONF="$cluster/slurm.conf"
on_exit='scancel --quiet --user "$(id -un)" 2>/dev/null || true
for daemon in slurmd slurmctld munged; do
    [ -f "$cluster/$daemon.pid" ] && kill "$(cat "$cluster/$daemon.pid")" 2>/dev/null || true
done
pkill -9 -f "scanleaf-card.exe.*$work" 2>/dev/null || true
sleep 1'
logs() { tail -n 5 "$cluster"/*.log "$work"/*.log 2>/dev/null; }
wait_for() { # SECONDS WHAT COMMAND...: until COMMAND succeeds
    limit=$1 what=$2
    shift 2
    end=$(($(date +%s) + limit))
    until "$@"; do
        [ "$(date +%s)" -lt "$end" ] || { logs; fail "waited $limit s for $what"; }
        sleep 0.2
    done
}

# The cluster: one node of this machine's processors, the job records kept for the test to read.
dd if=/dev/urandom of="$cluster/munge.key" bs=1024 count=1 2>/dev/null
chmod 600 "$cluster/munge.key"
munged --force --key-file="$cluster/munge.key" --socket="$cluster/munge/socket" --pid-file="$cluster/munged.pid" \
    --log-file="$cluster/munged.log" --seed-file="$cluster/munged.seed" || fail "munged did not start: $(logs)"
set -- $(python3 -c "
import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(('127.0.0.1', 0))
print(*(x.getsockname()[1] for x in s))")
host=$(hostname -s)
user=$(id -un)
cat >"$SLURM_CONF" <<CONF
ClusterName=scanleaf
SlurmctldHost=$host(127.0.0.1)
SlurmctldPort=$1
SlurmdPort=$2
SlurmUser=$user
SlurmdUser=$user
AuthType=auth/munge
CredType=cred/munge
# A requeued task waits out a credential's life (120 s unless told) before it runs again.
AuthInfo=socket=$cluster/munge/socket,cred_expire=5
StateSaveLocation=$cluster/state
SlurmdSpoolDir=$cluster/spool
SlurmctldPidFile=$cluster/slurmctld.pid
SlurmdPidFile=$cluster/slurmd.pid
SlurmctldLogFile=$cluster/slurmctld.log
SlurmdLogFile=$cluster/slurmd.log
ProctrackType=proctrack/linuxproc
TaskPlugin=task/none
MpiDefault=none
SchedulerType=sched/builtin
# A pass a second, so that a requeued task runs once it may.
SchedulerParameters=sched_interval=1
SelectType=select/cons_tres
SelectTypeParameters=CR_CPU
ReturnToService=2
JobCompType=jobcomp/filetxt
JobCompLoc=$cluster/jobs.txt
AccountingStorageType=accounting_storage/none
JobAcctGatherType=jobacct_gather/none
MinJobAge=3600
KillWait=5
NodeName=$host NodeAddr=127.0.0.1 CPUs=$(nproc) State=UNKNOWN
PartitionName=test Nodes=$host Default=YES MaxTime=INFINITE State=UP
CONF
slurmctld -i || fail "slurmctld did not start: $(logs)"
slurmd || fail "slurmd did not start: $(logs)"
idle() { sinfo -h -o %T 2>/dev/null | grep -q idle; }
wait_for 60 "the node to be idle" idle
ok

# The archive: 1,500 A4 pages at 300 dpi (ten distinct pages), one cut short.
vault
gs_drawings "$work/pages" 10 300 a4
n=0
while [ $n -lt 1500 ]; do
    ln "$work/pages/page$((n % 10)).cal" "$work/d/$(printf 'd%04d' $n).cal"
    [ $n -lt 30 ] && cp "$work/pages/page$((n % 10)).cal" "$work/few/$(printf 'f%02d' $n).cal"
    n=$((n + 1))
done
head -c 3000 "$work/pages/page3.cal" >"$work/d/d0500-cut.cal"
d=$(win "$work/d")

# One machine's run, to hold the cluster's to.
start=$(date +%s.%N)
card verify --jobs 1 --resume "$(win "$work/one.csv")" "$d" >/dev/null 2>&1 && fail "verify passed a cut drawing"
one=$(awk "BEGIN { print $(date +%s.%N) - $start }")
card convert --to pdf -o "$(win "$work/one-pdf")" "$(win "$work/few")" >/dev/null 2>&1 || fail "convert on one machine"

# verify as a job array of three, each task a table; task 2 killed while it runs, and requeued.
script() { # NAME COMMAND...: a job script that runs the card tool with the task's own log
    name=$1
    shift
    {
        echo "#!/bin/sh"
        echo "echo \"start of task \$SLURM_ARRAY_TASK_ID (restarts: \${SLURM_RESTART_COUNT:-0})\""
        printf '%s ' "\"$run\"" "\"$bin/scanleaf-card.exe\"" --dll "\"$(win "$bin/Scanleaf.dll")\"" "$@"
        echo
    } >"$cluster/$name.sh"
}
script verify verify --format csv --jobs 1 --shard auto --resume "\"$(win "$work")\\t\$SLURM_ARRAY_TASK_ID.csv\"" "\"$d\""
start=$(date +%s.%N)
job=$(sbatch --parsable --array=1-3 --requeue --open-mode=append --cpus-per-task=1 -D "$work" \
    --output="$work/verify-%a.log" "$cluster/verify.sh") || fail "sbatch: $(logs)"
rows() { [ -f "$work/t2.csv.rows" ] && [ "$(wc -l <"$work/t2.csv.rows")" -ge 40 ]; }
wait_for 120 "task 2 to keep 40 rows" rows
[ ! -f "$work/t2.csv" ] || fail "task 2 ended before it could be killed"
scontrol requeue "${job}_2" || fail "requeue: $(logs)"
done_all() { [ -z "$(squeue -h -j "$job" 2>/dev/null)" ]; }
wait_for 300 "the verify array to end" done_all
array=$(awk "BEGIN { print $(date +%s.%N) - $start }")
grep -c '^start of task 2' "$work/verify-2.log" | grep -qx 2 || fail "task 2 was not run again: $(cat "$work/verify-2.log")"
sed -n '1,/restarts: 1/p' "$work/verify-2.log" | grep -q '^verify (shard' && fail "task 2 ended before it was killed"
grep -q 'kept from the stopped run [1-9]' "$work/verify-2.log" || fail "task 2 did not resume: $(cat "$work/verify-2.log")"
ok
# Every drawing once; the requeued task's table that of an unbroken run of its share.
tail -q -n +2 "$work"/t1.csv "$work"/t2.csv "$work"/t3.csv | cut -d, -f1 | sort >"$work/shards.txt"
tail -n +2 "$work/one.csv" | cut -d, -f1 | sort >"$work/whole.txt"
cmp -s "$work/shards.txt" "$work/whole.txt" || fail "the tasks do not cover the archive once"
SLURM_ARRAY_TASK_ID=2 SLURM_ARRAY_TASK_MIN=1 SLURM_ARRAY_TASK_COUNT=3 card verify --shard auto --format csv "$d" \
    >"$work/unbroken2.csv" 2>/dev/null || true
cmp -s "$work/unbroken2.csv" "$work/t2.csv" || fail "the requeued task's table is not an unbroken run's"
ok
# The exit codes the scheduler records: 1 for the task that met the cut drawing, 0 for the others.
for k in 1 2 3; do
    want=0:0
    grep -q ',damaged,' "$work/t$k.csv" && want=1:0
    got=$(grep "ArrayJobId=$job ArrayTaskId=$k " "$cluster/jobs.txt" | tail -n 1 | sed 's/.* ExitCode=\([0-9:]*\).*/\1/')
    [ "$got" = "$want" ] || fail "task $k: Slurm recorded exit $got, not $want: $(grep "ArrayTaskId=$k " "$cluster/jobs.txt")"
done
grep -q "ArrayJobId=$job ArrayTaskId=2 .*JobState=REQUEUED\|JobState=REQUEUED.*ArrayTaskId=2 " "$cluster/jobs.txt" ||
    grep -q "ArrayTaskId=2 " "$cluster/jobs.txt" || fail "no record of task 2"
ok
# One table of the three, as one machine's.
start=$(date +%s.%N)
card verify --resume "$(win "$work/all.csv")" --resume "$(win "$work/t1.csv")" --resume "$(win "$work/t2.csv")" \
    --resume "$(win "$work/t3.csv")" "$d" >/dev/null 2>"$work/merge.txt" && fail "the merge passed a cut drawing"
merge=$(awk "BEGIN { print $(date +%s.%N) - $start }")
cmp -s "$work/one.csv" "$work/all.csv" || fail "the merged table is not one machine's"
grep -q 'taken from the other tables 1501' "$work/merge.txt" || fail "the merge read drawings again: $(cat "$work/merge.txt")"
ok

# convert --to pdf as an array of three into one folder.
script convert convert --to pdf --shard auto --skip-existing -o "\"$(win "$work/pdf")\"" "\"$(win "$work/few")\""
job=$(sbatch --parsable --array=1-3 -D "$work" --output="$work/convert-%a.log" "$cluster/convert.sh") || fail "sbatch: $(logs)"
wait_for 300 "the convert array to end" done_all
[ "$(ls "$work/pdf" | wc -l)" = 30 ] || fail "the array wrote $(ls "$work/pdf" | wc -l) documents, not 30"
for f in "$work/one-pdf"/*.pdf; do
    cmp -s "$f" "$work/pdf/$(basename "$f")" || fail "$(basename "$f") is not one machine's"
done
[ "$(grep -c "ArrayJobId=$job .*ExitCode=0:0" "$cluster/jobs.txt")" = 3 ] || fail "convert tasks failed: $(cat "$work"/convert-*.log)"
ok

printf 'slurm: verify of 1,501 drawings: one machine %.1f s (%.2f ms a drawing); an array of 3 tasks on %d processors, one killed and requeued (5 s held), %.1f s; the three tables merged in %.1f s\n' \
    "$one" "$(awk "BEGIN { print $one * 1000 / 1501 }")" "$(nproc)" "$array" "$merge"
echo "$checks passed, 0 failed"
