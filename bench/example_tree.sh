# Sourced by the benchmark scripts (run from the repository's top folder).
# make_example_tree FOLDER COUNT PER_FOLDER: COUNT copies of the three good example drawings,
# "drawing N.idraw", PER_FOLDER of them in each of "FOLDER/folder K".
make_example_tree() {
    local root=$1 count=$2 per_folder=$3 i folder
    local examples=(examples/poster.idraw examples/product-sheet.idraw examples/logo-study.idraw)
    for ((i = 0; i < count; i++)); do
        folder="$root/folder $((i / per_folder))"
        mkdir -p "$folder"
        cp "${examples[i % 3]}" "$folder/drawing $i.idraw"
    done
}
